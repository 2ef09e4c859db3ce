// Two processes, each with its own Application Support folder, exchange a prompt through one mirror
// folder: one saves it, the other waits until an import brings it.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/testing/TestEnvironment.h"

extern char** environ;

namespace velloran {
namespace {

// One machine: its home with data and configuration roots, and the application bundle.
struct Machine {
  explicit Machine(const std::filesystem::path& folder) : folder(folder) {
    std::filesystem::create_directories(folder / "bundle");
    platform::testing::writePropertyListFile(
        folder / "bundle" / "Info.plist",
        platform::Dictionary{{"CFBundleIdentifier", "de.example.velloran"}});
  }

  std::map<std::string, std::string> environment(const std::filesystem::path& mirror) const {
    return {{"HOME", (folder / "home").string()},
            {"XDG_DATA_HOME", (folder / "data").string()},
            {"XDG_CONFIG_HOME", (folder / "config").string()},
            {"VELLORAN_BUNDLE_DIR", (folder / "bundle").string()},
            {"VELLORAN_CLOUD_DIR", mirror.string()}};
  }

  std::filesystem::path folder;
};

pid_t spawnPeer(const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& overrides) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    if (!overrides.count(variable.substr(0, variable.find('=')))) environment.push_back(variable);
  }
  for (const auto& [name, value] : overrides) environment.push_back(name + "=" + value);

  std::vector<char*> argv{const_cast<char*>(VELLORAN_SYNC_PEER)};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  EXPECT_EQ(::posix_spawn(&pid, VELLORAN_SYNC_PEER, nullptr, nullptr, argv.data(), envp.data()), 0);
  return pid;
}

int exitStatus(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SyncBetweenProcesses, APromptSavedInOneProcessIsImportedByTheOther) {
  platform::testing::TemporaryDirectory folder;
  const std::filesystem::path mirror = folder.path() / "mirror";
  std::filesystem::create_directories(mirror);
  const Machine receiver(folder.path() / "receiver");
  const Machine sender(folder.path() / "sender");

  const pid_t waiting = spawnPeer({"await", "Shared prompt"}, receiver.environment(mirror));
  const pid_t saving = spawnPeer({"put", "Shared prompt"}, sender.environment(mirror));
  EXPECT_EQ(exitStatus(saving), 0);
  EXPECT_EQ(exitStatus(waiting), 0);
}

}  // namespace
}  // namespace velloran
