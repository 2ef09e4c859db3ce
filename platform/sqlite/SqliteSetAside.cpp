#include "platform/sqlite/SqliteSetAside.h"

#include <fcntl.h>
#include <sys/file.h>

#include <array>
#include <cerrno>
#include <string>
#include <system_error>

#include "platform/paths/FileDescriptor.h"
#include "platform/paths/PathsError.h"
#include "platform/sqlite/SqliteFiles.h"

namespace platform {
namespace {

// The companions that hold the file's content, log first.
constexpr std::array<std::string_view, 2> kContentCompanions = {kSqliteLogSuffix, kSqliteJournalSuffix};

// Held while a file is checked and moved: an exclusive lock on its folder, which any process can take
// and the system lets go of when the process ends.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder)
      : folder_(openRetrying(folder, O_RDONLY | O_DIRECTORY)) {
    if (!folder_.valid()) {
      failure_ = errno;
      return;
    }
    while (::flock(folder_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        failure_ = errno;
        return;
      }
    }
    locked_ = true;
  }
  ~FolderLock() {
    if (locked_) ::flock(folder_.get(), LOCK_UN);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool locked() const { return locked_; }
  // The system's error number when the lock could not be taken.
  int failure() const { return failure_; }

 private:
  FileDescriptor folder_;
  bool locked_ = false;
  int failure_ = 0;
};

}  // namespace

Result<std::filesystem::path> setAsideDamagedSqliteFile(const std::filesystem::path& file, KeptCopies kept,
                                                        const Clock& clock) {
  // Gone before anything moves, so that no outcome leaves it beside a new file.
  const std::filesystem::path logIndex = file.string() + std::string(kSqliteLogIndexSuffix);
  std::error_code failure;
  std::filesystem::remove(logIndex, failure);
  if (failure) {
    return pathsError(PathsErrorCode::WriteFailed, "Cannot remove " + logIndex.string(), failure.value());
  }
  return moveFileAside(file, kDamagedCopyLabel, kept, kContentCompanions, clock);
}

Result<std::optional<std::filesystem::path>> setAsideDamagedSqliteFile(const std::filesystem::path& file,
                                                                       const FileIdentity& judged,
                                                                       KeptCopies kept, const Clock& clock) {
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  FolderLock lock(folder);
  if (!lock.locked()) {
    return pathsError(PathsErrorCode::WriteFailed,
                      "Cannot lock " + folder.string() + " to set " + file.string() + " aside",
                      lock.failure());
  }
  if (fileIdentity(file) != judged) return std::optional<std::filesystem::path>();
  Result<std::filesystem::path> aside = setAsideDamagedSqliteFile(file, kept, clock);
  if (!aside) return aside.error();
  return std::optional<std::filesystem::path>(*aside);
}

}  // namespace platform
