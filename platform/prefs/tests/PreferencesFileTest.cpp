#include "platform/prefs/PreferencesFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/prefs/PreferencesError.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

std::string contentsOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::filesystem::path> asideCopies(const std::filesystem::path& file) {
  std::vector<std::filesystem::path> copies;
  for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
    if (entry.path().filename().string().starts_with(file.filename().string() + ".corrupt-")) {
      copies.push_back(entry.path());
    }
  }
  std::sort(copies.begin(), copies.end());
  return copies;
}

class PreferencesFileTest : public ::testing::Test {
 protected:
  std::filesystem::path folder() const { return root_.path() / "Preferences"; }
  PreferencesFile file() const { return PreferencesFile(folder() / "suite.plist"); }
  void damage(const std::string& contents) {
    std::filesystem::create_directories(folder());
    std::ofstream(file().path(), std::ios::binary) << contents;
  }

  testing::TemporaryDirectory root_;
};

TEST_F(PreferencesFileTest, DamagedFilesAreKeptAsideNeverReplaced) {
  damage("<plist><dict><key>half");
  auto first = file().load();
  EXPECT_TRUE(first.values.empty());
  EXPECT_TRUE(first.writable);
  ASSERT_TRUE(first.problem.has_value());
  EXPECT_TRUE(isPreferencesError(*first.problem, PreferencesErrorCode::DamagedFile));
  ASSERT_TRUE(first.keptAside.has_value());
  EXPECT_FALSE(std::filesystem::exists(file().path()));

  // A second damaged file, possibly within the same second, gets its own name.
  damage("<?xml version=\"1.0\"?><plist version=\"1.0\"><string>not a dictionary</string></plist>");
  auto second = file().load();
  ASSERT_TRUE(second.keptAside.has_value());
  EXPECT_NE(*second.keptAside, *first.keptAside);

  auto copies = asideCopies(file().path());
  ASSERT_EQ(copies.size(), 2u);
  EXPECT_EQ(contentsOf(*first.keptAside), "<plist><dict><key>half");
  EXPECT_NE(contentsOf(*second.keptAside).find("not a dictionary"), std::string::npos);
}

// A pipe at the file's name would hold the read, and the domain's first use with it, until a writer
// came: it is damage like any other.
TEST_F(PreferencesFileTest, APipeInTheFilesPlaceIsSetAsideNotWaitedOn) {
  std::filesystem::create_directories(folder());
  ASSERT_EQ(::mkfifo(file().path().c_str(), 0600), 0);
  auto loaded = file().load();
  EXPECT_TRUE(loaded.values.empty());
  EXPECT_TRUE(loaded.writable);
  ASSERT_TRUE(loaded.keptAside.has_value());
  EXPECT_TRUE(std::filesystem::is_fifo(*loaded.keptAside));

  ASSERT_TRUE(file().save({{"kept", Value("yes")}}, false, {}).ok());
  EXPECT_EQ(file().load().values, (Dictionary{{"kept", Value("yes")}}));
}

}  // namespace
}  // namespace platform
