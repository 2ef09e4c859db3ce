#include "platform/testing/ProcessesAtOnce.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace platform::testing {

std::vector<int> runAtOnce(const std::vector<std::function<int()>>& bodies) {
  int ready[2];
  int go[2];
  if (::pipe(ready) != 0) return std::vector<int>(bodies.size(), -1);
  if (::pipe(go) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return std::vector<int>(bodies.size(), -1);
  }
  std::vector<pid_t> children;
  for (const std::function<int()>& body : bodies) {
    const pid_t child = ::fork();
    if (child == 0) {
      // Says it is ready, then waits until the test closes its end of `go`: then every child's read
      // ends at once.
      ::close(ready[0]);
      ::close(go[1]);
      const char byte = 1;
      const bool told = ::write(ready[1], &byte, 1) == 1;
      ::close(ready[1]);
      char ignored;
      while (::read(go[0], &ignored, 1) < 0 && errno == EINTR) {
      }
      ::_exit(told ? body() : 255);
    }
    children.push_back(child);
  }
  ::close(ready[1]);
  ::close(go[0]);
  // The read meets the end once every child started has written its byte and closed its end.
  char byte;
  ssize_t got;
  do {
    got = ::read(ready[0], &byte, 1);
  } while (got > 0 || (got < 0 && errno == EINTR));
  ::close(ready[0]);
  ::close(go[1]);
  std::vector<int> results;
  for (const pid_t child : children) {
    int status = 0;
    const bool ended = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status);
    results.push_back(ended ? WEXITSTATUS(status) : -1);
  }
  return results;
}

std::vector<int> runAtOnce(int count, const std::function<int(int process)>& body) {
  std::vector<std::function<int()>> bodies;
  for (int process = 0; process < count; ++process)
    bodies.push_back([&body, process] { return body(process); });
  return runAtOnce(bodies);
}

}  // namespace platform::testing
