#pragma once
// Heartbeat bytes kept in one file per app ID:
//   <Application Support>/corvane-heartbeat-storage/heartbeats-<app ID with every ":" made "_">
// Every write replaces the file atomically, so a crash leaves the old or the new bundle, never a mix.
// Used from its HeartbeatStorage's serial queue only; other processes of the app take their turns
// through a lock on the folder.

#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/error/Result.h"
#include "sdk-core/heartbeat/Storage.h"

namespace beacon {

class FileStorage final : public Storage {
 public:
  // The store for `id` in the application's Application Support folder. When that folder cannot be
  // named (no home, no bundle identifier), or `id` cannot name one file in it (a "/" in it), the store
  // still exists, and every read and write fails with the reason as cause: heartbeats are lost, never
  // written somewhere else.
  static std::shared_ptr<FileStorage> storageForID(std::string_view id);

  // The file name of `id`'s store.
  static std::string fileName(std::string_view id);

  explicit FileStorage(platform::Result<std::filesystem::path> url);

  // The file's location, or why there is none.
  const platform::Result<std::filesystem::path>& url() const { return url_; }

  platform::Result<platform::Bytes> read() override;
  platform::Result<void> write(const std::optional<platform::Bytes>& data) override;
  // The folder's lock; none when the folder cannot be made (the write then fails on its own).
  std::shared_ptr<void> takeTurn() override;

 private:
  platform::Result<std::filesystem::path> url_;
};

}  // namespace beacon
