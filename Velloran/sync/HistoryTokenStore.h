#pragma once
// The sync monitor's history token: the position in the store's persistent history after which
// nothing has been processed yet, kept in memory and in its file so it survives a restart.
//
// The file holds the token's text form alone (HistoryToken::serialized). It is replaced atomically,
// so a crash while writing leaves the old token or the new one, never a mix; a file that cannot be
// read or does not hold a token means "no token" (the next processing reads all history).
//
// The token only ever moves forward. Several history processings may be under way at once, each
// having fetched after the token it read; the one that finishes last may have fetched less. So a
// token is taken only when it belongs to the store now loaded and lies beyond the current one (or
// the current one belongs to another store, or there is none). Likewise an expired token is
// forgotten only while it is still the current one: a newer token stored meanwhile stays.
//
// Thread-safe: every access runs inside a synchronous call onto the serial queue
// "CloudKitSyncService.history", which also covers the file. Never call it from that queue.

#include <filesystem>
#include <optional>

#include "platform/dispatch/Queue.h"
#include "platform/identity/UUID.h"
#include "platform/pstore/PersistentHistory.h"

namespace velloran {

class HistoryTokenStore {
 public:
  // Reads the token from `file`; without a file the token lives in memory only.
  explicit HistoryTokenStore(std::optional<std::filesystem::path> file);
  HistoryTokenStore(const HistoryTokenStore&) = delete;
  HistoryTokenStore& operator=(const HistoryTokenStore&) = delete;

  std::optional<platform::HistoryToken> current() const;
  // Takes `token` (and writes the file) when it moves the position forward in `loadedStore`;
  // answers whether it did.
  bool advance(const platform::HistoryToken& token, const platform::UUID& loadedStore);
  // Forgets `expired` and deletes the file, unless another token has replaced it meanwhile.
  void reset(const platform::HistoryToken& expired);

 private:
  void write(const platform::HistoryToken& token) const;

  const platform::QueueRef queue_;
  const std::optional<std::filesystem::path> file_;
  std::optional<platform::HistoryToken> token_;
};

}  // namespace velloran
