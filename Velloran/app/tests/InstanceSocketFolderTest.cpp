// Which folder the hand-over socket lies in: the user's runtime folder while only the user can reach
// it, else a folder made for the user alone in the temporary folder, and none that anyone else owns,
// may enter or can point elsewhere.

#include "Velloran/app/InstanceSocketFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "AnsweringListener.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

namespace fs = std::filesystem;

class InstanceSocketFolderTest : public ::testing::Test {
 protected:
  InstanceSocketFolderTest() {
    fs::create_directory(temporary());
    user_.environment().set("TMPDIR", temporary().string());
  }

  fs::path temporary() const { return user_.root() / "tmp"; }
  fs::path fallback() const { return temporary() / ("velloran-" + std::to_string(::geteuid())); }
  void setRuntimeFolder(const std::optional<std::string>& folder) {
    user_.environment().set("XDG_RUNTIME_DIR", folder);
  }

  static fs::perms permissionsOf(const fs::path& folder) {
    return fs::symlink_status(folder).permissions() & fs::perms::all;
  }

  platform::testing::TemporaryUser user_;
};

TEST_F(InstanceSocketFolderTest, TheUsersOwnRuntimeFolderHoldsTheSocketWhateverTheTemporaryFolder) {
  const SocketFolder folder = instanceSocketFolder();

  EXPECT_EQ(folder.path, user_.runtimeRoot());
  EXPECT_EQ(folder.failure, 0);
  EXPECT_FALSE(fs::exists(fallback()));
}

TEST_F(InstanceSocketFolderTest, ARuntimeFolderThatIsNotTheUsersAloneIsPassedOverForAFolderMadeForThem) {
  const fs::path link = user_.root() / "run-link";
  fs::create_directory_symlink(user_.runtimeRoot(), link);
  std::vector<std::optional<std::string>> passedOver{std::nullopt, "", "run", link.string(),
                                                     (user_.root() / "missing").string()};
  if (::geteuid() == 0) {
    const fs::path foreign = user_.root() / "run-of-another";
    fs::create_directory(foreign);
    fs::permissions(foreign, fs::perms::owner_all);
    ASSERT_EQ(::chown(foreign.c_str(), velloran::testing::kOtherUser, velloran::testing::kOtherUser), 0);
    passedOver.push_back(foreign.string());
  }
  const fs::path shared = user_.root() / "run-shared";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  passedOver.push_back(shared.string());

  for (const std::optional<std::string>& runtime : passedOver) {
    setRuntimeFolder(runtime);
    const SocketFolder folder = instanceSocketFolder();
    EXPECT_EQ(folder.path, fallback()) << runtime.value_or("(unset)");
    EXPECT_EQ(folder.failure, 0) << runtime.value_or("(unset)");
  }
  EXPECT_EQ(permissionsOf(fallback()), fs::perms::owner_all);
}

TEST_F(InstanceSocketFolderTest, AFolderInTheTemporaryFolderThatIsNotTheUsersAloneWillNotDo) {
  setRuntimeFolder(std::nullopt);
  fs::create_directory(fallback());
  fs::permissions(fallback(), fs::perms::all);
  EXPECT_EQ(instanceSocketFolder().failure, EACCES) << "open to everyone";

  if (::geteuid() == 0) {
    fs::permissions(fallback(), fs::perms::owner_all);
    ASSERT_EQ(::chown(fallback().c_str(), velloran::testing::kOtherUser, velloran::testing::kOtherUser), 0);
    EXPECT_EQ(instanceSocketFolder().failure, EACCES) << "another user's";
  }

  fs::remove(fallback());
  fs::create_directory(user_.root() / "elsewhere");
  fs::permissions(user_.root() / "elsewhere", fs::perms::owner_all);
  fs::create_directory_symlink(user_.root() / "elsewhere", fallback());
  EXPECT_EQ(instanceSocketFolder().failure, ENOTDIR) << "a link";

  user_.environment().set("TMPDIR", (user_.root() / "missing").string());
  const SocketFolder unmade = instanceSocketFolder();
  EXPECT_EQ(unmade.path, user_.root() / "missing" / fallback().filename());
  EXPECT_EQ(unmade.failure, ENOENT);
}

}  // namespace
}  // namespace velloran
