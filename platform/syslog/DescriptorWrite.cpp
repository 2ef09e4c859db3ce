#include "platform/syslog/DescriptorWrite.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

namespace platform::detail {
namespace {

bool brokenPipeAlreadyPending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

void writeToDescriptor(int fd, std::string_view data) {
  // The broken-pipe signal is blocked on this thread for the duration of the write; one that the
  // write raised is then taken off the pending set before the old mask comes back, so it never
  // reaches the process. A signal that was pending before we started is left for its owner.
  sigset_t brokenPipe;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  const bool pendingBefore = brokenPipeAlreadyPending();
  sigset_t previousMask;
  pthread_sigmask(SIG_BLOCK, &brokenPipe, &previousMask);

  bool pipeBroke = false;
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      pipeBroke = errno == EPIPE;
      break;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }

  if (pipeBroke && !pendingBefore) {
    const timespec noWait{};
    while (sigtimedwait(&brokenPipe, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
}

}  // namespace platform::detail
