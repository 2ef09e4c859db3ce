#include "platform/paths/ApplicationDirectories.h"

#include <gtest/gtest.h>

#include "platform/bundle/Bundle.h"
#include "platform/paths/PathsError.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

class ApplicationDirectoriesTest : public ::testing::Test {
 protected:
  void SetUp() override { Bundle::resetMainForTesting(); }
  void TearDown() override { Bundle::resetMainForTesting(); }

  void giveBundleIdentifier(const std::string& identifier) {
    user_.writeInfo({{"CFBundleIdentifier", identifier}});
  }

  testing::TemporaryUser user_;
};

TEST_F(ApplicationDirectoriesTest, FoldersAreNamedAfterTheBundleAndCreatedWithTheirParents) {
  giveBundleIdentifier("de.example.velloran");
  ASSERT_FALSE(std::filesystem::exists(user_.dataHome()));

  auto support = applicationSupportDirectory();
  ASSERT_TRUE(support.ok()) << support.error().debugDescription();
  EXPECT_EQ(*support, user_.dataHome() / "de.example.velloran");
  EXPECT_TRUE(std::filesystem::is_directory(*support));

  auto config = applicationConfigDirectory();
  ASSERT_TRUE(config.ok()) << config.error().debugDescription();
  EXPECT_EQ(*config, user_.configHome() / "de.example.velloran");
  EXPECT_TRUE(std::filesystem::is_directory(*config));

  // Asking again finds the existing folder.
  EXPECT_EQ(*applicationSupportDirectory(), *support);
}

TEST_F(ApplicationDirectoriesTest, TheSupportFolderCanBeNamedWithoutBeingMade) {
  EXPECT_TRUE(isPathsError(applicationSupportDirectoryName().error(), PathsErrorCode::NoBundleIdentifier));
  giveBundleIdentifier("..");
  Bundle::resetMainForTesting();
  EXPECT_TRUE(isPathsError(applicationSupportDirectoryName().error(), PathsErrorCode::NoBundleIdentifier));

  giveBundleIdentifier("de.example.velloran");
  Bundle::resetMainForTesting();
  auto named = applicationSupportDirectoryName();
  ASSERT_TRUE(named.ok()) << named.error().debugDescription();
  EXPECT_EQ(*named, user_.dataHome() / "de.example.velloran");
  EXPECT_FALSE(std::filesystem::exists(user_.dataHome()));
  EXPECT_EQ(*applicationSupportDirectory(), *named);
}

TEST_F(ApplicationDirectoriesTest, AMissingBundleIdentifierIsReported) {
  auto support = applicationSupportDirectory();
  ASSERT_FALSE(support.ok());
  EXPECT_TRUE(isPathsError(support.error(), PathsErrorCode::NoBundleIdentifier));
  EXPECT_FALSE(applicationConfigDirectory().ok());
  EXPECT_FALSE(std::filesystem::exists(user_.dataHome()));
}

TEST_F(ApplicationDirectoriesTest, IdentifiersThatWouldLeaveTheRootAreRefused) {
  auto user = UserDirectories::current();
  for (std::string_view identifier : {"", ".", "..", "../escape", "a/b"}) {
    auto folder = applicationSupportDirectory(user, identifier);
    ASSERT_FALSE(folder.ok()) << identifier;
    EXPECT_TRUE(isPathsError(folder.error(), PathsErrorCode::NoBundleIdentifier));
  }
  EXPECT_FALSE(std::filesystem::exists(user_.root() / "escape"));
}

TEST_F(ApplicationDirectoriesTest, NoHomeIsReportedInsteadOfStopping) {
  UserDirectories homeless([](const std::string&) { return std::nullopt; }, [] { return std::nullopt; });
  auto support = applicationSupportDirectory(homeless, "de.example.velloran");
  ASSERT_FALSE(support.ok());
  EXPECT_TRUE(isPathsError(support.error(), PathsErrorCode::NoHomeDirectory));
}

}  // namespace
}  // namespace platform
