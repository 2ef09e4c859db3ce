#include "AnsweringListener.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace velloran::testing {
namespace {

constexpr char kListening = 'L';
constexpr char kRequestHeard = 'R';
constexpr char kRequest[] = "bring-forward\n";
constexpr char kAnswer[] = "ok\n";

// The child's whole life; it allocates nothing, as a child of a process with threads must not.
[[noreturn]] void listenAndAnswer(const char* socket, std::optional<uid_t> user, int reports) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket, sizeof(address.sun_path) - 1);
  const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (server < 0 || ::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      (user && (::setgid(*user) != 0 || ::setuid(*user) != 0)) || ::listen(server, 16) != 0 ||
      ::write(reports, &kListening, 1) != 1)
    ::_exit(1);
  for (;;) {
    const int connection = ::accept(server, nullptr, nullptr);
    if (connection < 0) continue;
    char line[sizeof(kRequest)] = {};
    std::size_t length = 0;
    while (length < sizeof(line) - 1 && ::read(connection, &line[length], 1) == 1 && line[length++] != '\n') {
    }
    if (std::strcmp(line, kRequest) == 0 && ::write(reports, &kRequestHeard, 1) == 1)
      (void)::write(connection, kAnswer, sizeof(kAnswer) - 1);
    ::close(connection);
  }
}

}  // namespace

AnsweringListener::AnsweringListener(const std::filesystem::path& socket, std::optional<uid_t> user) {
  int pipe[2];
  if (::pipe2(pipe, O_CLOEXEC) != 0) return;
  // The path is copied before the fork: the child may not allocate.
  const std::string path = socket.string();
  child_ = ::fork();
  if (child_ == 0) {
    ::close(pipe[0]);
    listenAndAnswer(path.c_str(), user, pipe[1]);
  }
  ::close(pipe[1]);
  reports_ = pipe[0];
  char report = 0;
  ssize_t got;
  while ((got = ::read(reports_, &report, 1)) < 0 && errno == EINTR) {
  }
  listening_ = got == 1 && report == kListening;
  ::fcntl(reports_, F_SETFL, O_NONBLOCK);
}

AnsweringListener::~AnsweringListener() {
  if (child_ > 0) {
    ::kill(child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
  }
  if (reports_ >= 0) ::close(reports_);
}

int AnsweringListener::requestsHeard() {
  char report;
  while (::read(reports_, &report, 1) == 1) heard_ += report == kRequestHeard;
  return heard_;
}

}  // namespace velloran::testing
