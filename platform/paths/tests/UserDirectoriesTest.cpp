#include "platform/paths/UserDirectories.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/paths/PathsError.h"

namespace platform {
namespace {

// A made-up environment and account database, so the rules are checked without touching the process.
UserDirectories directories(std::map<std::string, std::string> environment,
                            std::optional<std::string> accountHome = std::nullopt) {
  return UserDirectories(
      [environment](const std::string& name) -> std::optional<std::string> {
        auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
      },
      [accountHome] { return accountHome; });
}

TEST(UserDirectories, AbsoluteXdgVariablesWin) {
  auto user = directories({{"HOME", "/home/anna"}, {"XDG_DATA_HOME", "/d"}, {"XDG_CONFIG_HOME", "/c"}});
  EXPECT_EQ(*user.dataHome(), "/d");
  EXPECT_EQ(*user.configHome(), "/c");
}

TEST(UserDirectories, FallsBackBelowHomeWhenXdgVariablesAreUnsetEmptyOrRelative) {
  for (const auto& environment : std::vector<std::map<std::string, std::string>>{
           {{"HOME", "/home/anna"}},
           {{"HOME", "/home/anna"}, {"XDG_DATA_HOME", ""}, {"XDG_CONFIG_HOME", ""}},
           {{"HOME", "/home/anna"}, {"XDG_DATA_HOME", "data"}, {"XDG_CONFIG_HOME", "./config"}}}) {
    auto user = directories(environment);
    EXPECT_EQ(*user.dataHome(), "/home/anna/.local/share");
    EXPECT_EQ(*user.configHome(), "/home/anna/.config");
  }
}

TEST(UserDirectories, UsesTheAccountHomeWhenHomeIsMissingOrRelative) {
  EXPECT_EQ(*directories({}, "/var/lib/anna").home(), "/var/lib/anna");
  EXPECT_EQ(*directories({{"HOME", "anna"}}, "/var/lib/anna").home(), "/var/lib/anna");
  EXPECT_EQ(*directories({{"HOME", ""}}, "/var/lib/anna").dataHome(), "/var/lib/anna/.local/share");
}

TEST(UserDirectories, NoHomeAnywhereIsAnErrorNotAGuess) {
  for (auto user : {directories({}), directories({{"HOME", "relative"}}, "also-relative")}) {
    auto home = user.home();
    ASSERT_FALSE(home.ok());
    EXPECT_TRUE(isPathsError(home.error(), PathsErrorCode::NoHomeDirectory));
    EXPECT_NE(home.error().description.find("home"), std::string::npos);
    EXPECT_FALSE(user.dataHome().ok());
    EXPECT_FALSE(user.configHome().ok());
  }
}

}  // namespace
}  // namespace platform
