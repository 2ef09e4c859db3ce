#include "AppProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/testing/TestEnvironment.h"

extern char** environ;

namespace velloran::testing {
namespace {

// Generous: a loaded machine that builds and tests in parallel must never reach it.
constexpr std::chrono::seconds kHangGuard{120};

// Checks `condition` until it holds or the guard runs out.
bool pollUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

AppProcess::AppProcess(const std::string& executable, const std::vector<std::string>& arguments,
                       const std::filesystem::path& outputFolder, Start start)
    : outputFile_(outputFolder / "stdout.txt"), errorFile_(outputFolder / "stderr.txt") {
  std::vector<std::string> argv{executable};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t mask;
  sigemptyset(&mask);
  if (start == Start::stopRequested) sigaddset(&mask, SIGTERM);
  posix_spawnattr_setsigmask(&attributes, &mask);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t child = 0;
  if (posix_spawn(&child, pointers[0], &files, &attributes, pointers.data(), environ) == 0) child_ = child;
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  if (child_ > 0 && start == Start::stopRequested) requestStop();
}

AppProcess::~AppProcess() {
  if (child_ <= 0) return;
  ::kill(child_, SIGKILL);
  ::waitpid(child_, nullptr, 0);
}

void AppProcess::requestStop() {
  if (child_ > 0) ::kill(child_, SIGTERM);
}

int AppProcess::waitForExit() {
  if (child_ <= 0) return -1;
  int status = 0;
  if (!pollUntil([&] { return ::waitpid(child_, &status, WNOHANG) != 0; })) {
    ::kill(child_, SIGKILL);
    ::waitpid(child_, &status, 0);
    child_ = -1;
    return -1;
  }
  child_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string AppProcess::standardOutput() const {
  return platform::testing::fileContents(outputFile_);
}

std::string AppProcess::standardError() const {
  return platform::testing::fileContents(errorFile_);
}

bool eventually(const std::function<bool()>& condition) {
  return pollUntil(condition);
}

}  // namespace velloran::testing
