#pragma once
// The lock that decides which start of the app runs on one data folder: an exclusive flock on a lock
// file, taken without waiting and held for as long as the object lives - in practice the life of
// the process. The kernel lets go of it when the process ends in any way, SIGKILL included, so a
// lock file left behind by a killed run never stands in the next start's way. The file itself is
// never removed: another start may be about to lock it.
//
// A lock file that cannot be made or opened, or a file system that keeps no locks (a network home
// without a lock service, say), gives no lock: take() answers unavailable and failure() tells the
// system's error number. The lock file is opened close-on-exec, so no program the app starts keeps
// holding it.
//
// One object belongs to one thread; it is neither copied nor moved.

#include <filesystem>

#include "platform/paths/FileDescriptor.h"

namespace velloran {

class InstanceLock {
 public:
  enum class Taking {
    // This object holds the lock now.
    taken,
    // Another process (or another object of this one) holds it.
    heldElsewhere,
    // There is no lock to be had here; failure() says why.
    unavailable,
  };

  // Opens the lock file, making it when it is missing; the folder must exist.
  explicit InstanceLock(const std::filesystem::path& file);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Tries once, without waiting; once taken, it stays taken and every later call says so.
  Taking take();
  int failure() const { return failure_; }

 private:
  platform::FileDescriptor file_;
  bool taken_ = false;
  int failure_ = 0;
};

}  // namespace velloran
