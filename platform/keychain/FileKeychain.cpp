#include "platform/keychain/FileKeychain.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/keychain/KeychainAttributes.h"
#include "platform/paths/FileAside.h"
#include "platform/paths/FileDescriptor.h"
#include "platform/paths/FileIO.h"
#include "platform/paths/PathsError.h"
#include "platform/paths/UserDirectories.h"
#include "platform/plist/PropertyList.h"

namespace platform {
namespace keychain_detail {

// Outside the anonymous namespace: the session type declared in the header holds a list of them.
struct StoredItem {
  AttributeMap attributes;
  Bytes data;
};

}  // namespace keychain_detail
namespace {

using keychain_detail::AttributeMap;
using keychain_detail::StoredItem;

constexpr std::int64_t kFormatVersion = 1;

std::optional<std::vector<StoredItem>> decodeItems(const Value& root) {
  const Value* version = root.find("version");
  const Value* items = root.find("items");
  if (!version || !version->asInteger() || *version->asInteger() != kFormatVersion || !items ||
      !items->asArray()) {
    return std::nullopt;
  }
  std::vector<StoredItem> decoded;
  for (const Value& entry : *items->asArray()) {
    const Value* attributes = entry.find("attributes");
    const Value* data = entry.find("data");
    if (!attributes || !attributes->asDictionary() || !data || !data->asBytes()) return std::nullopt;
    StoredItem item{{}, *data->asBytes()};
    for (const auto& [name, value] : *attributes->asDictionary()) {
      if (!value.asString()) return std::nullopt;
      item.attributes[name] = *value.asString();
    }
    decoded.push_back(std::move(item));
  }
  return decoded;
}

Value encodeItems(const std::vector<StoredItem>& items) {
  Array encoded;
  for (const StoredItem& item : items) {
    Dictionary attributes;
    for (const auto& [name, value] : item.attributes) attributes[name] = value;
    encoded.push_back(Dictionary{{"attributes", std::move(attributes)}, {"data", item.data}});
  }
  return Dictionary{{"version", kFormatVersion}, {"items", std::move(encoded)}};
}

}  // namespace

// One locked read-modify-write of the file: the lock is held from construction to destruction.
struct FileKeychain::Session {
  explicit Session(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (!createDirectories(folder)) return;
    ::chmod(folder.c_str(), 0700);
    lock.emplace(openRetrying(folder / (file.filename().string() + ".lock"), O_RDWR | O_CREAT, 0600));
    if (!lock->valid()) return;
    while (::flock(lock->get(), LOCK_EX) != 0) {
      if (errno != EINTR) return;
    }
    locked = true;
    Result<Bytes> contents = readFile(file);
    if (!contents) {
      // Something in the file's place that no save of this store could have left is damage, to be
      // set aside like an undecodable file.
      if (isPathsError(contents.error(), PathsErrorCode::FileNotFound)) {
        status = kKeychainSuccess;
      } else if (isPathsError(contents.error(), PathsErrorCode::NotAFileToRead)) {
        status = kKeychainDamagedStore;
      } else {
        status = kKeychainIOFailure;
      }
      return;
    }
    Result<Value> root = readPropertyList(*contents);
    std::optional<std::vector<StoredItem>> decoded = root ? decodeItems(*root) : std::nullopt;
    if (!decoded) {
      status = kKeychainDamagedStore;
      return;
    }
    items = std::move(*decoded);
    status = kKeychainSuccess;
  }
  ~Session() {
    if (locked) ::flock(lock->get(), LOCK_UN);
  }

  KeychainStatus save(const std::filesystem::path& file) const { return saveItems(items, file); }

  // `items` as a keychain file at `file`, readable by the user only.
  static KeychainStatus saveItems(const std::vector<StoredItem>& items, const std::filesystem::path& file) {
    Result<Bytes> encoded = writePropertyList(encodeItems(items), PropertyListFormat::Binary);
    if (!encoded || !writeFileAtomically(file, *encoded)) return kKeychainIOFailure;
    ::chmod(file.c_str(), 0600);
    return kKeychainSuccess;
  }

  std::optional<FileDescriptor> lock;
  bool locked = false;
  KeychainStatus status = kKeychainIOFailure;
  std::vector<StoredItem> items;
};

FileKeychain::FileKeychain(std::filesystem::path file) : file_(std::move(file)) {}

Result<std::filesystem::path> FileKeychain::defaultPath() {
  Result<std::filesystem::path> dataHome = UserDirectories::current().dataHome();
  if (!dataHome) return dataHome.error();
  return *dataHome / "velloran-keychain" / "items.plist";
}

KeychainCopyResult FileKeychain::copyMatching(const KeychainQuery& query) {
  std::lock_guard guard(mutex_);
  Session session(file_);
  if (session.status != kKeychainSuccess) return {session.status, std::nullopt};
  AttributeMap wanted = keychain_detail::attributesOf(query);
  for (const StoredItem& item : session.items) {
    if (keychain_detail::matches(item.attributes, wanted)) return {kKeychainSuccess, item.data};
  }
  return {kKeychainItemNotFound, std::nullopt};
}

KeychainStatus FileKeychain::add(const KeychainQuery& attributes, const Bytes& data) {
  std::lock_guard guard(mutex_);
  Session session(file_);
  if (session.status != kKeychainSuccess) return session.status;
  AttributeMap stored = keychain_detail::attributesOf(attributes);
  AttributeMap identity = keychain_detail::identifyingAttributes(stored);
  for (const StoredItem& item : session.items) {
    if (keychain_detail::identifyingAttributes(item.attributes) == identity) return kKeychainDuplicateItem;
  }
  session.items.push_back({std::move(stored), data});
  return session.save(file_);
}

KeychainStatus FileKeychain::update(const KeychainQuery& query, const Bytes& data) {
  std::lock_guard guard(mutex_);
  Session session(file_);
  if (session.status != kKeychainSuccess) return session.status;
  AttributeMap wanted = keychain_detail::attributesOf(query);
  bool found = false;
  for (StoredItem& item : session.items) {
    if (!keychain_detail::matches(item.attributes, wanted)) continue;
    item.data = data;
    found = true;
  }
  return found ? session.save(file_) : kKeychainItemNotFound;
}

KeychainStatus FileKeychain::remove(const KeychainQuery& query) {
  std::lock_guard guard(mutex_);
  Session session(file_);
  if (session.status != kKeychainSuccess) return session.status;
  AttributeMap wanted = keychain_detail::attributesOf(query);
  auto removed = std::erase_if(session.items, [&](const StoredItem& item) {
    return keychain_detail::matches(item.attributes, wanted);
  });
  return removed > 0 ? session.save(file_) : kKeychainItemNotFound;
}

Result<std::optional<std::filesystem::path>> FileKeychain::setAsideDamagedStore() {
  std::lock_guard guard(mutex_);
  // Decided under the file's lock, so that of several callers that saw the damage one moves it.
  Session session(file_);
  if (session.status != kKeychainDamagedStore) return std::optional<std::filesystem::path>();
  Result<std::filesystem::path> aside = moveFileAside(file_, "damaged");
  if (!aside) return aside.error();
  return std::optional<std::filesystem::path>(*aside);
}

Result<std::optional<std::filesystem::path>> FileKeychain::setAsideDamagedItem(const KeychainQuery& query) {
  std::lock_guard guard(mutex_);
  Session session(file_);
  if (session.status == kKeychainIOFailure)
    return pathsError(PathsErrorCode::ReadFailed, "Cannot read the keychain " + file_.string());
  AttributeMap wanted = keychain_detail::attributesOf(query);
  auto found = std::find_if(session.items.begin(), session.items.end(), [&](const StoredItem& item) {
    return keychain_detail::matches(item.attributes, wanted);
  });
  if (session.status != kKeychainSuccess || found == session.items.end())
    return std::optional<std::filesystem::path>();
  // Written whole under a name of its own first, then moved to its kept name the way a damaged store
  // is; all under the file's lock, so no other caller meets the item half kept.
  const std::filesystem::path item = file_.string() + ".item";
  if (Session::saveItems({*found}, item) != kKeychainSuccess)
    return pathsError(PathsErrorCode::WriteFailed, "Cannot write " + item.string());
  Result<std::filesystem::path> aside = moveFileAside(item, "damaged", KeptCopies::NewestOnly);
  if (!aside) return aside.error();
  session.items.erase(found);
  if (session.save(file_) != kKeychainSuccess)
    return pathsError(PathsErrorCode::WriteFailed, "Cannot write the keychain " + file_.string());
  return std::optional<std::filesystem::path>(*aside);
}

}  // namespace platform
