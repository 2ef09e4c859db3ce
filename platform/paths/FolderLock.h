#pragma once
// An exclusive lock on a folder (flock on the folder itself), held until the object goes: whatever
// its holders do in the folder, from any process, they do one after another. The lock adds no file
// to the folder, and a process that ends lets go of it with its descriptors. Taking it waits for as
// long as another holds it.
//
// A folder that cannot be opened or locked (missing, or on a file system that keeps no locks) gives
// no lock: locked() says so, and failure() tells the system's error number.
//
// One object belongs to one thread; it is neither copied nor moved.

#include <filesystem>

#include "platform/paths/FileDescriptor.h"

namespace platform {

class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder);
  // Lets go explicitly: a child forked meanwhile shares the descriptor and would otherwise hold the
  // lock until it closes it.
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool locked() const { return locked_; }
  int failure() const { return failure_; }

 private:
  FileDescriptor folder_;
  bool locked_ = false;
  int failure_ = 0;
};

}  // namespace platform
