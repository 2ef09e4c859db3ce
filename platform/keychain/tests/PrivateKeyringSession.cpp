#include "platform/keychain/tests/PrivateKeyringSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace platform::testing {
namespace {

constexpr int kStartTimeoutMilliseconds = 15000;

// Started inside the private session: a keyring daemon in the foreground that unlocks (and so
// creates) the login keyring with a test password. Once the daemon owns the Secret Service's name
// (so nothing asks early and has the bus start a second daemon) the script tells the daemon's
// process ID and the bus address, then lives until its standard input closes and stops the daemon.
constexpr const char* kSessionScript =
    "printf velloran-test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 "
    "&\n"
    "daemon=$!\n"
    "tries=0\n"
    "until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \\\n"
    "    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true; do\n"
    "  tries=$((tries + 1))\n"
    "  if [ $tries -gt 150 ]; then kill $daemon; exit 1; fi\n"
    "  sleep 0.1\n"
    "done\n"
    "echo \"$daemon $DBUS_SESSION_BUS_ADDRESS\"\n"
    "cat >/dev/null\n"
    "kill $daemon\n"
    "wait $daemon\n";

bool haveTool(const char* name) {
  std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

Error startError(const std::string& why) {
  return Error("test.keyring", 1, why);
}

}  // namespace

Result<std::unique_ptr<PrivateKeyringSession>> PrivateKeyringSession::start(
    const std::filesystem::path& folder) {
  if (!haveTool("dbus-run-session") || !haveTool("dbus-send") || !haveTool("gnome-keyring-daemon"))
    return startError("dbus-run-session, dbus-send or gnome-keyring-daemon is not installed");
  std::filesystem::create_directories(folder / "data");
  std::filesystem::create_directories(folder / "config");
  std::filesystem::create_directories(folder / "run");
  ::chmod((folder / "run").c_str(), 0700);

  int toChild[2];
  int fromChild[2];
  if (::pipe(toChild) != 0) return startError("no pipe");
  if (::pipe(fromChild) != 0) return startError("no pipe");
  pid_t pid = ::fork();
  if (pid < 0) return startError("cannot fork");
  if (pid == 0) {
    // Nothing of the session may keep the test's standard error open: a test runner waits for it.
    int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(toChild[0], STDIN_FILENO);
    ::dup2(fromChild[1], STDOUT_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (folder / "run").c_str(), 1);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::execlp("dbus-run-session", "dbus-run-session", "--", "sh", "-c", kSessionScript,
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  auto session = std::unique_ptr<PrivateKeyringSession>(new PrivateKeyringSession(pid, toChild[1], ""));

  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMilliseconds);
  while (line.find('\n') == std::string::npos) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd wait{fromChild[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[512];
    ssize_t n = ::read(fromChild[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fromChild[0]);
  std::size_t end = line.find('\n');
  std::size_t space = line.find(' ');
  if (end == std::string::npos || space == std::string::npos || space > end)
    return startError("the keyring daemon did not start in its session");
  session->daemonPid_ = static_cast<pid_t>(std::atol(line.substr(0, space).c_str()));
  session->busAddress_ = line.substr(space + 1, end - space - 1);
  return session;
}

PrivateKeyringSession::~PrivateKeyringSession() {
  ::close(input_);
  for (int tries = 0; tries < 100; ++tries) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The session did not end by itself: stop what this session started, the daemon first.
  if (daemonPid_ > 0) ::kill(daemonPid_, SIGTERM);
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace platform::testing

// The D-Bus library under the Secret Service client keeps a few bytes of each proxy's start-up state
// until the process ends. The leak checker of sanitizer builds is told to let the client's libraries
// be (their frames carry no unwind information, so the allocation is all it sees of them).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libglib-2.0.so\nleak:libgio-2.0.so\nleak:libsecret-1.so\n";
}
