#include "platform/workspace/XdgOpenWorkspace.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "platform/dispatch/Queue.h"

extern char** environ;

namespace platform {
namespace {

bool beginsWithScheme(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0]))) {
    return false;
  }
  return std::all_of(url.begin(), url.begin() + colon, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  });
}

bool holdsControlCharacters(std::string_view url) {
  return std::any_of(url.begin(), url.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

XdgOpenWorkspace::XdgOpenWorkspace(std::string opener) : opener_(std::move(opener)) {}

bool XdgOpenWorkspace::openURL(std::string_view url) {
  if (!beginsWithScheme(url) || holdsControlCharacters(url)) return false;

  // The opener must not read from our standard input.
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  std::string program = opener_;
  std::string argument(url);
  char* arguments[] = {program.data(), argument.data(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, program.c_str(), actions.get(), nullptr, arguments, environ) != 0) return false;

  globalQueue(QualityOfService::Background)->async([child] {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  });
  return true;
}

}  // namespace platform
