#include "platform/paths/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::close() {
  const int result = ::close(fd_);
  fd_ = -1;
  return result;
}

int openRetrying(const std::filesystem::path& file, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(file.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int openFileOnly(const std::filesystem::path& file, int flags, mode_t mode) {
  // O_NONBLOCK keeps the open of a pipe from waiting for a writer; on a file it changes nothing.
  const int fd = openRetrying(file, flags | O_NONBLOCK, mode);
  if (fd < 0) return fd;
  struct stat status {};
  const bool inspected = ::fstat(fd, &status) == 0;
  if (inspected && S_ISREG(status.st_mode)) return fd;
  const int reason = inspected ? EINVAL : errno;
  ::close(fd);
  errno = reason;
  return -1;
}

bool writeAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, bytes + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
