// Two processes, each with its own Application Support folder, exchange a prompt through one mirror
// folder: one saves it, the other waits until an import brings it. And two processes editing one
// prompt at once, each killed with SIGKILL at random moments and started again, lose none of the
// versions whose save they acknowledged.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
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

// `output`: a file that receives the peer's standard output; none leaves it with the test's.
pid_t spawnPeer(const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& overrides,
                const std::optional<std::filesystem::path>& output = std::nullopt) {
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

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  if (output) {
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output->c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND, 0600);
  }
  pid_t pid = -1;
  EXPECT_EQ(::posix_spawn(&pid, VELLORAN_SYNC_PEER, &actions, nullptr, argv.data(), envp.data()), 0);
  ::posix_spawn_file_actions_destroy(&actions);
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

// The texts after `prefix` on the lines of a peer's output.
std::vector<std::string> linesAfter(const std::filesystem::path& output, const std::string& prefix) {
  std::vector<std::string> texts;
  std::ifstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(prefix)) texts.push_back(line.substr(prefix.size()));
  }
  return texts;
}

TEST(SyncBetweenProcesses, EditorsKilledAtRandomOnTwoMachinesLoseNoAcknowledgedVersion) {
  platform::testing::TemporaryDirectory folder;
  const std::filesystem::path mirror = folder.path() / "mirror";
  std::filesystem::create_directories(mirror);
  const Machine first(folder.path() / "first");
  const Machine second(folder.path() / "second");
  ASSERT_EQ(exitStatus(spawnPeer({"put", "Shared"}, first.environment(mirror))), 0);

  // A fixed seed keeps the kill moments reproducible from run to run; where in its work a process
  // dies still varies with the machine's load, which is the point.
  std::mt19937 random(20261207);
  const std::filesystem::path acknowledged = folder.path() / "acknowledged.txt";
  for (int round = 0; round < 3; ++round) {
    const std::string suffix = std::to_string(round);
    const pid_t onFirst =
        spawnPeer({"edit", "Shared", "first-" + suffix, "25"}, first.environment(mirror), acknowledged);
    const pid_t onSecond =
        spawnPeer({"edit", "Shared", "second-" + suffix, "25"}, second.environment(mirror), acknowledged);
    // One of them is killed somewhere in its saves, exports or imports.
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + random() % 1500));
    ::kill(round % 2 == 0 ? onFirst : onSecond, SIGKILL);
    exitStatus(onFirst);
    exitStatus(onSecond);
  }

  // Each machine starts again, exports what a kill left behind and takes in the other's. How long
  // that takes depends on the machine's load, so the machines take turns until they agree, within a
  // bound that only a mirror that never converges reaches.
  const std::filesystem::path firstDump = folder.path() / "first.txt";
  const std::filesystem::path secondDump = folder.path() / "second.txt";
  std::vector<std::string> onFirst;
  std::vector<std::string> onSecond;
  for (int turn = 0; turn < 8 && (onFirst.empty() || onFirst != onSecond); ++turn) {
    std::filesystem::remove(firstDump);
    std::filesystem::remove(secondDump);
    ASSERT_EQ(exitStatus(spawnPeer({"dump", "Shared", "2"}, first.environment(mirror), firstDump)), 0);
    ASSERT_EQ(exitStatus(spawnPeer({"dump", "Shared", "2"}, second.environment(mirror), secondDump)), 0);
    onFirst = linesAfter(firstDump, "version ");
    onSecond = linesAfter(secondDump, "version ");
  }
  EXPECT_EQ(onFirst, onSecond) << "both machines show the same versions in the same order";
  const std::set<std::string> stored(onFirst.begin(), onFirst.end());
  EXPECT_EQ(stored.size(), onFirst.size()) << "no version twice";
  const std::vector<std::string> saved = linesAfter(acknowledged, "saved ");
  EXPECT_GT(saved.size(), 20u) << "the editors got some work done";
  for (const std::string& text : saved) EXPECT_TRUE(stored.count(text)) << "lost: " << text;
}

}  // namespace
}  // namespace velloran
