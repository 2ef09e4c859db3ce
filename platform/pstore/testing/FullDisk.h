#pragma once
// A full disk for tests that cannot have one: file writes of the process fail once a file would grow
// past `room` bytes (the file-size limit, with its signal ignored, so a write fails with an error as
// on a disk that has run out of space). Only ever for a child process: the limit cannot be lifted
// again.
//
// The child shares nothing with the test but the files: its body must not rely on threads the test
// started, and reports back only through its result.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>

namespace platform::testing {

// Fills the disk for the calling (child) process; false when the limit cannot be set.
inline bool fillDisk(std::uintmax_t room) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{static_cast<rlim_t>(room), static_cast<rlim_t>(room)};
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Runs `body` in a child process on a disk with `room` bytes left. The body's result (0..255), or
// -1 when the child did not end normally; the test looks at what it left on disk afterwards.
inline int runWithFullDisk(std::uintmax_t room, const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) ::_exit(fillDisk(room) ? body() : 255);
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace platform::testing
