#pragma once
// The keychain as one file per user, for machines without a Secret Service (headless machines, CI).
//
// The file is a binary property list of the items in the order they were added. Its folder is made
// readable by the user only (0700) and the file itself is 0600. Every call reads the file, and a
// change writes it anew (a temporary file renamed over it), all under an exclusive lock on a lock
// file beside it, so threads and processes of the same user never lose each other's writes and a
// reader never sees half a file.
//
// A file that cannot be decoded is damaged, and so is anything in its place that no save of this
// store leaves (a folder, a pipe, a file larger than memory): every call then answers
// kKeychainDamagedStore and the file is left exactly as it is; it is never wiped to start afresh.
// setAsideDamagedStore renames it to "items.plist.damaged-<unix seconds>" beside itself (kept for the user to
// look into), after which the store starts empty. setAsideDamagedItem keeps one item, in a sound file, as a
// keychain file of its own in the same format, "items.plist.item.damaged-<unix seconds>" beside the store
// (0600), and removes it from the store; only the newest such item copy stays, earlier ones are removed. The
// data is not encrypted: the file has the same protection as the user's other private files.

#include <filesystem>
#include <mutex>

#include "platform/error/Result.h"
#include "platform/keychain/Keychain.h"

namespace platform {

class FileKeychain final : public Keychain {
 public:
  explicit FileKeychain(std::filesystem::path file);

  // $XDG_DATA_HOME/velloran-keychain/items.plist (or the same under ~/.local/share).
  static Result<std::filesystem::path> defaultPath();

  const std::filesystem::path& path() const { return file_; }

  KeychainCopyResult copyMatching(const KeychainQuery& query) override;
  KeychainStatus add(const KeychainQuery& attributes, const Bytes& data) override;
  KeychainStatus update(const KeychainQuery& query, const Bytes& data) override;
  KeychainStatus remove(const KeychainQuery& query) override;
  Result<std::optional<std::filesystem::path>> setAsideDamagedStore() override;
  Result<std::optional<std::filesystem::path>> setAsideDamagedItem(const KeychainQuery& query) override;

 private:
  struct Session;

  std::filesystem::path file_;
  std::mutex mutex_;
};

}  // namespace platform
