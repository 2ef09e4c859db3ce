#pragma once
// The small pieces every layer that talks to files through descriptors needs: a descriptor closed when
// its owner goes, an open that survives interrupting signals, and a write that does not stop short.
// Nothing here reports errors of its own: failures leave errno set for the caller to describe.
//
// Safe from any thread; one FileDescriptor belongs to one owner.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>

namespace platform {

// Owns a descriptor and closes it when the scope ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports the result: a failed close can be a failed delayed write.
  int close();

 private:
  int fd_;
};

// open(2) with O_CLOEXEC added, retried while a signal interrupts it. -1 with errno set on failure.
int openRetrying(const std::filesystem::path& file, int flags, mode_t mode = 0);

// openRetrying for a file one reads or writes whole, failing with EINVAL for anything else at the
// path (links followed, unless `flags` hold O_NOFOLLOW): a pipe or device under a file's name would
// hold an open or a read for good.
int openFileOnly(const std::filesystem::path& file, int flags, mode_t mode = 0);

// Writes all `size` bytes, retrying interrupted and partial writes. False with errno set on failure.
bool writeAll(int fd, const void* data, std::size_t size);

}  // namespace platform
