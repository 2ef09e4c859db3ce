#pragma once
// A full disk for tests that cannot have one: `body` runs in a child process whose file writes fail
// once a file would grow past `room` bytes (the file-size limit, with its signal ignored, so a write
// fails with an error as on a disk that has run out of space). The child ends with the body's
// result; the test looks at what it left on disk afterwards.
//
// The child shares nothing with the test but the files: the body must not rely on threads the test
// started, and reports back only through its result.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>

namespace platform::testing {

// The body's result (0..255), or -1 when the child did not end normally.
inline int runWithFullDisk(std::uintmax_t room, const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(room), static_cast<rlim_t>(room)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(255);
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace platform::testing
