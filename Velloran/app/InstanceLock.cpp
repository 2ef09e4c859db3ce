#include "Velloran/app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace velloran {

InstanceLock::InstanceLock(const std::filesystem::path& file)
    : file_(platform::openRetrying(file, O_RDWR | O_CREAT, 0600)) {
  if (!file_.valid()) failure_ = errno;
}

InstanceLock::~InstanceLock() {
  if (taken_) ::flock(file_.get(), LOCK_UN);
}

InstanceLock::Taking InstanceLock::take() {
  if (taken_) return Taking::taken;
  if (!file_.valid()) return Taking::unavailable;
  while (::flock(file_.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return Taking::heldElsewhere;
    failure_ = errno;
    return Taking::unavailable;
  }
  taken_ = true;
  return Taking::taken;
}

}  // namespace velloran
