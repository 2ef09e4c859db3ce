// The shared test support leaves nothing behind in the temporary folder, whatever a test put into
// its folders, and gives the programs a test starts roots of their own inside them.

#include "platform/testing/TestEnvironment.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace platform::testing {
namespace {

namespace fs = std::filesystem;

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "(unset)";
}

TEST(TemporaryDirectoryTest, GoesWithEverythingInItEvenFoldersMadeUnreadable) {
  fs::path kept;
  {
    TemporaryDirectory folder;
    kept = folder.path();
    EXPECT_EQ(kept.parent_path(), fs::temp_directory_path());
    fs::create_directories(folder.path() / "store" / "deep");
    std::ofstream(folder.path() / "store" / "library.sqlite-wal") << "x";
    ::chmod((folder.path() / "store").c_str(), 0);
  }
  EXPECT_FALSE(fs::exists(kept));
}

TEST(TemporaryUserTest, EveryRootPointsIntoItsFolderAndTheRuntimeRootIsPrivate) {
  ScopedEnvironment outside;
  outside.set("XDG_RUNTIME_DIR", std::nullopt);
  fs::path root;
  {
    TemporaryUser user;
    root = user.root();
    EXPECT_EQ(environmentValue("HOME"), (root / "home").string());
    EXPECT_EQ(environmentValue("XDG_DATA_HOME"), user.dataHome().string());
    EXPECT_EQ(environmentValue("XDG_CONFIG_HOME"), user.configHome().string());
    EXPECT_EQ(environmentValue("XDG_RUNTIME_DIR"), user.runtimeRoot().string());
    EXPECT_EQ(environmentValue("VELLORAN_BUNDLE_DIR"), user.bundle().string());
    EXPECT_TRUE(fs::is_directory(user.bundle()));
    EXPECT_EQ(fs::status(user.runtimeRoot()).permissions(), fs::perms::owner_all);
  }
  EXPECT_EQ(environmentValue("XDG_RUNTIME_DIR"), "(unset)");
  EXPECT_FALSE(fs::exists(root));
}

TEST(TestProgramHomeTest, EveryTestProgramKeepsTheUsersFoldersInATemporaryFolderOfItsOwn) {
  const passwd* account = ::getpwuid(::getuid());
  ASSERT_NE(account, nullptr);
  const fs::path realHome = account->pw_dir;
  const fs::path home = environmentValue("HOME");
  EXPECT_EQ(home.parent_path().parent_path(), fs::temp_directory_path());
  EXPECT_NE(home, realHome);
  for (const char* root : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
    EXPECT_EQ(fs::path(environmentValue(root)).parent_path(), home.parent_path()) << root;
}

}  // namespace
}  // namespace platform::testing
