#include "Velloran/app/TerminationSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>

#include "platform/error/Error.h"

namespace velloran {
namespace {

// [0] is written by the handler, [1] read by the event loop.
int requestPipe[2] = {-1, -1};

void requestQuit(int) {
  const int savedErrno = errno;
  const char byte = 1;
  // A full socket already holds a request: nothing is lost by dropping this one.
  (void)::write(requestPipe[0], &byte, 1);
  errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals() {
  if (requestPipe[0] != -1) {
    throw platform::ProgrammerError("TerminationSignalsTwice",
                                    "only one TerminationSignals may exist at a time");
  }
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, requestPipe) != 0) {
    // Without the pair the default handlers stay: the process still stops, only less tidily.
    requestPipe[0] = requestPipe[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(requestPipe[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [] {
    char drained[16];
    while (::read(requestPipe[1], drained, sizeof drained) > 0) {
    }
    QCoreApplication::quit();
  });
  setHandler(requestQuit);

  sigset_t stopRequests;
  sigemptyset(&stopRequests);
  sigaddset(&stopRequests, SIGTERM);
  sigaddset(&stopRequests, SIGINT);
  ::pthread_sigmask(SIG_UNBLOCK, &stopRequests, nullptr);
}

TerminationSignals::~TerminationSignals() {
  if (requestPipe[0] == -1) return;
  setHandler(SIG_DFL);
  delete notifier_;
  ::close(requestPipe[0]);
  ::close(requestPipe[1]);
  requestPipe[0] = requestPipe[1] = -1;
}

}  // namespace velloran
