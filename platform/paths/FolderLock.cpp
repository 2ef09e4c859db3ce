#include "platform/paths/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace platform {

FolderLock::FolderLock(const std::filesystem::path& folder)
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

FolderLock::~FolderLock() {
  if (locked_) ::flock(folder_.get(), LOCK_UN);
}

}  // namespace platform
