#include "platform/paths/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

// The error number every lock fails with while a test refuses them; 0 while locks are real.
std::atomic<int> refusedWith{0};

// The folder opened to be locked, or -1 with errno set.
int openToLock(const std::filesystem::path& folder) {
  if (const int refused = refusedWith.load(); refused != 0) {
    errno = refused;
    return -1;
  }
  return openRetrying(folder, O_RDONLY | O_DIRECTORY);
}

}  // namespace

FolderLock::FolderLock(const std::filesystem::path& folder) : folder_(openToLock(folder)) {
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

FolderLock::~FolderLock() {
  if (locked_) ::flock(folder_.get(), LOCK_UN);
}

void FolderLock::refuseForTesting(std::optional<int> failure) {
  refusedWith.store(failure.value_or(0));
}

}  // namespace platform
