#pragma once
// An exclusive lock on a folder (flock on the folder itself), held until the object goes: whatever
// its holders do in the folder, from any process, they do one after another. The lock adds no file
// to the folder, and a process that ends lets go of it with its descriptors. Taking it waits for as
// long as another holds it.
//
// A folder that cannot be opened or locked (missing, one the user may write but not list, or on a
// file system that keeps no locks, such as a network home) gives no lock: locked() says so, and
// failure() tells the system's error number. Its holders go on without the lock, as best they can.
//
// One object belongs to one thread; it is neither copied nor moved.

#include <filesystem>
#include <optional>

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

  // Test seam for folders a test cannot arrange where permission bits do not bind: every lock taken
  // from now on, in this process and the children it forks, fails with the error number `failure`;
  // nullopt takes real locks again.
  static void refuseForTesting(std::optional<int> failure);

 private:
  FileDescriptor folder_;
  bool locked_ = false;
  int failure_ = 0;
};

}  // namespace platform
