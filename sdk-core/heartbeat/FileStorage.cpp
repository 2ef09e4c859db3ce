#include "sdk-core/heartbeat/FileStorage.h"

#include <algorithm>
#include <string>

#include "platform/paths/ApplicationDirectories.h"
#include "platform/paths/FileIO.h"
#include "platform/paths/FolderLock.h"

namespace beacon {
namespace {

constexpr const char* kDirectoryName = "corvane-heartbeat-storage";

}  // namespace

std::string FileStorage::fileName(std::string_view id) {
  std::string name = "heartbeats-" + std::string(id);
  std::replace(name.begin(), name.end(), ':', '_');
  return name;
}

std::shared_ptr<FileStorage> FileStorage::storageForID(std::string_view id) {
  // The ID comes from the app's options; joined as it is, a "/" in it would climb out of the folder.
  const std::string name = fileName(id);
  if (!platform::isPlainFileName(name)) {
    return std::make_shared<FileStorage>(storageError(
        StorageError::writeError, "\"" + name + "\" cannot name a file in the heartbeat folder"));
  }
  auto support = platform::applicationSupportDirectory();
  if (!support) return std::make_shared<FileStorage>(support.error());
  return std::make_shared<FileStorage>(*support / kDirectoryName / name);
}

FileStorage::FileStorage(platform::Result<std::filesystem::path> url) : url_(std::move(url)) {}

platform::Result<platform::Bytes> FileStorage::read() {
  if (!url_) return storageError(StorageError::readError, "The heartbeat file has no location", url_.error());
  auto contents = platform::readFile(*url_);
  if (!contents)
    return storageError(StorageError::readError, "Cannot read the heartbeat file", contents.error());
  return std::move(*contents);
}

std::shared_ptr<void> FileStorage::takeTurn() {
  if (!url_ || !platform::createDirectories(url_->parent_path()).ok()) return nullptr;
  return std::make_shared<platform::FolderLock>(url_->parent_path());
}

platform::Result<void> FileStorage::write(const std::optional<platform::Bytes>& data) {
  if (!url_)
    return storageError(StorageError::writeError, "The heartbeat file has no location", url_.error());
  if (auto made = platform::createDirectories(url_->parent_path()); !made) {
    return storageError(StorageError::writeError, "Cannot make the heartbeat folder", made.error());
  }
  const platform::Bytes none;
  if (auto written = platform::writeFileAtomically(*url_, data ? *data : none); !written) {
    return storageError(StorageError::writeError, "Cannot write the heartbeat file", written.error());
  }
  return platform::Result<void>::success();
}

}  // namespace beacon
