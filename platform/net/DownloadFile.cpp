#include "platform/net/DownloadFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/paths/PrivateFolder.h"

namespace platform::detail {
namespace {

constexpr std::string_view kPrefix = "download-";
// Between making a file and locking it its owner needs microseconds; a file this young is spared.
constexpr std::chrono::seconds kLockGrace{10};

}  // namespace

std::shared_ptr<DownloadFile> DownloadFile::make(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  std::string pattern = (folder / (std::string(kPrefix) + "XXXXXX")).string();
  const int descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  std::FILE* file = ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 ? ::fdopen(descriptor, "wb") : nullptr;
  if (!file) {
    ::unlink(pattern.c_str());
    ::close(descriptor);
    return nullptr;
  }
  return std::shared_ptr<DownloadFile>(new DownloadFile(pattern, file));
}

DownloadFile::~DownloadFile() {
  // Unlinked while still locked, so a sweep never sees it unlocked under its name.
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
  std::fclose(file_);
}

bool DownloadFile::write(const std::uint8_t* data, std::size_t length) {
  return std::fwrite(data, 1, length, file_) == length;
}

bool DownloadFile::flush() {
  return std::fflush(file_) == 0;
}

std::optional<std::filesystem::path> fallbackDownloadFolder(bool makeWhenMissing) {
  const std::filesystem::path folder = userTemporaryFolder("velloran-downloads");
  const int failure = makeWhenMissing ? makePrivateFolder(folder) : privateFolderFailure(folder);
  if (failure != 0) return std::nullopt;
  return folder;
}

void removeAbandonedDownloadFiles(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return;
  const auto spareAfter = std::filesystem::file_time_type::clock::now() - kLockGrace;
  for (const auto& entry : entries) {
    if (!entry.path().filename().string().starts_with(kPrefix)) continue;
    std::error_code entryError;
    if (!entry.is_regular_file(entryError) || entry.last_write_time(entryError) > spareAfter || entryError)
      continue;
    const int descriptor = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) continue;
    // A live owner holds the lock; a file whose owner died is free to take.
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) std::filesystem::remove(entry.path(), entryError);
    ::close(descriptor);
  }
}

}  // namespace platform::detail
