// Runs the real velloran executable, offscreen, in a temporary home, and looks at what it left in
// the preferences and the data folder.
//
// Each run is asked to stop before it starts: the child begins with SIGTERM blocked and pending, so
// the application acts on it exactly when its event loop first runs - after the whole start-up -
// and quits cleanly. No run depends on how fast the machine is.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/bundle/Bundle.h"
#include "platform/plist/PropertyList.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"

extern char** environ;

namespace {

using platform::Value;

class AppProcessTest : public ::testing::Test {
 protected:
  AppProcessTest() {
    user_.environment().set("VELLORAN_BUNDLE_DIR", VELLORAN_BUILD_BUNDLE_DIR);
    user_.environment().set("QT_QPA_PLATFORM", "offscreen");
    user_.environment().set("XCTestConfigurationFilePath", std::nullopt);
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
    bundleIdentifier_ = platform::Bundle::main()->bundleIdentifier().value_or("");
  }
  ~AppProcessTest() override {
    platform::PreferencesDomain::resetForTesting();
    platform::Bundle::resetMainForTesting();
  }

  void preferencesHold(const platform::Dictionary& values) {
    const auto defaults = platform::PreferencesDomain::application();
    for (const auto& [key, value] : values) ASSERT_TRUE(defaults->setObject(key, value).ok());
    platform::PreferencesDomain::resetForTesting();
  }

  // The application's preferences as the file on disk holds them.
  platform::Dictionary storedPreferences() const {
    const auto file = user_.configHome() / bundleIdentifier_ / "Preferences" / (bundleIdentifier_ + ".plist");
    platform::Result<Value> read = platform::readPropertyListFile(file);
    if (!read.ok() || !read.value().isDictionary()) return {};
    return *read.value().asDictionary();
  }

  bool storeFileExists() const {
    return std::filesystem::exists(user_.dataHome() / bundleIdentifier_ / "Velloran.sqlite");
  }

  // Runs the app with `arguments`, asked to stop at once; answers its exit status (-1 when it did
  // not exit normally). What it writes to standard error lands in `errorFile` when one is given.
  int runApp(const std::vector<std::string>& arguments, const std::filesystem::path& errorFile = {}) {
    std::vector<std::string> argv{VELLORAN_EXECUTABLE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &stop);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (!errorFile.empty()) {
      posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0600);
    }
    pid_t child = 0;
    const int spawned = posix_spawn(&child, pointers[0], &files, &attributes, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
      ADD_FAILURE() << "could not start " << pointers[0];
      return -1;
    }
    ::kill(child, SIGTERM);

    // A guard against a hanging app, not a speed requirement.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        ADD_FAILURE() << "the app did not stop when asked";
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  platform::testing::TemporaryUser user_;
  std::string bundleIdentifier_;
};

const platform::Dictionary kEarlierState{
    {"analyticsEnabled", Value(true)},
    {"analyticsPromptShown", Value(true)},
    {"appLaunchCountForCurrentVersion", Value(std::int64_t{7})},
    {"lastSeenAppVersion", Value("1.0.0")},
    {"userHasRatedApp", Value(false)},
};

TEST_F(AppProcessTest, WithoutAnyDisplayTheAppSaysSoInOneLineAndFails) {
  user_.environment().set("QT_QPA_PLATFORM", std::nullopt);
  user_.environment().set("DISPLAY", std::nullopt);
  user_.environment().set("WAYLAND_DISPLAY", "");
  const std::filesystem::path errors = user_.root() / "stderr.txt";

  EXPECT_EQ(runApp({}, errors), 1);

  EXPECT_EQ(platform::testing::fileContents(errors),
            "Velloran braucht eine grafische Sitzung: weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.\n");
  EXPECT_FALSE(storeFileExists());
}

TEST_F(AppProcessTest, TheBuildBundleNamesTheApplication) {
  EXPECT_FALSE(bundleIdentifier_.empty());
}

TEST_F(AppProcessTest, AUITestRunLeavesExactlyTheFiveTestValuesAndNoStore) {
  preferencesHold(kEarlierState);

  EXPECT_EQ(runApp({"-ui-testing"}), 0);

  EXPECT_EQ(storedPreferences(), (platform::Dictionary{
                                     {"AppleLanguages", Value(platform::Array{Value("de")})},
                                     {"AppleLocale", Value("de_DE")},
                                     {"analyticsPromptShown", Value(true)},
                                     {"analyticsEnabled", Value(false)},
                                     {"promptListHintHidden", Value(true)},
                                 }));
  EXPECT_FALSE(storeFileExists());
}

TEST_F(AppProcessTest, TheHarnessVariableAloneLeavesThePreferencesAsTheyWere) {
  preferencesHold(kEarlierState);
  user_.environment().set("XCTestConfigurationFilePath", "");

  EXPECT_EQ(runApp({}), 0);

  EXPECT_EQ(storedPreferences(), kEarlierState);
  EXPECT_FALSE(storeFileExists());
}

TEST_F(AppProcessTest, AnOrdinaryRunKeepsItsLibraryOnDisk) {
  preferencesHold(kEarlierState);
  EXPECT_EQ(runApp({}), 0);
  EXPECT_TRUE(storeFileExists());
}

}  // namespace
