// The mirror folder's states, where its root comes from, and the stamps that order changes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <limits>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/MirrorFolder.h"
#include "platform/paths/PathsError.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;

class MirrorFolderState : public ::testing::Test {
 protected:
  std::filesystem::path root() const { return folder.path() / "root"; }
  Result<void> prepare(const MirrorSettings& settings) { return MirrorFolder(settings, "box").prepare(); }

  TemporaryDirectory folder;
};

TEST_F(MirrorFolderState, AConfiguredRootMustExistAsAFolderOrThereIsNoAccount) {
  Result<void> missing = prepare(MirrorSettings::configured(root()));
  ASSERT_FALSE(missing.ok());
  EXPECT_TRUE(isCloudMirrorError(missing.error(), CloudMirrorErrorCode::NotAuthenticated));
  EXPECT_FALSE(std::filesystem::exists(root())) << "a configured root is never made";

  std::ofstream(root()).put('x');
  Result<void> notAFolder = prepare(MirrorSettings::configured(root()));
  ASSERT_FALSE(notAFolder.ok());
  EXPECT_TRUE(isCloudMirrorError(notAFolder.error(), CloudMirrorErrorCode::NotAuthenticated));

  Result<void> noRoot = prepare(MirrorSettings{});
  ASSERT_FALSE(noRoot.ok());
  EXPECT_TRUE(isCloudMirrorError(noRoot.error(), CloudMirrorErrorCode::NotAuthenticated));
}

TEST_F(MirrorFolderState, TheDefaultRootIsMadeOnFirstUse) {
  MirrorSettings settings;
  settings.root = root() / "nested";
  ASSERT_TRUE(prepare(settings).ok());
  EXPECT_TRUE(std::filesystem::is_directory(root() / "nested" / "box" / "journal"));
}

TEST_F(MirrorFolderState, TheOfflineMarkerMakesItTemporarilyUnavailable) {
  std::filesystem::create_directories(root());
  std::ofstream(root() / "OFFLINE").put('\n');
  Result<void> offline = prepare(MirrorSettings::configured(root()));
  ASSERT_FALSE(offline.ok());
  EXPECT_TRUE(isCloudMirrorError(offline.error(), CloudMirrorErrorCode::NetworkUnavailable));

  std::filesystem::remove(root() / "OFFLINE");
  EXPECT_TRUE(prepare(MirrorSettings::configured(root())).ok());
}

TEST_F(MirrorFolderState, FoldersThatCannotBeMadeAreANetworkFailure) {
  std::filesystem::create_directories(root());
  std::ofstream(root() / "box").put('x');  // a file where the container's folder belongs
  Result<void> blocked = prepare(MirrorSettings::configured(root()));
  ASSERT_FALSE(blocked.ok());
  EXPECT_TRUE(isCloudMirrorError(blocked.error(), CloudMirrorErrorCode::NetworkFailure));
}

TEST_F(MirrorFolderState, JournalsAndTheirConflictCopiesAreFoundByTheirDeviceNameAndOtherFilesIgnored) {
  MirrorFolder mirror(MirrorSettings::configured(folder.path()), "box");
  ASSERT_TRUE(mirror.prepare().ok());
  const UUID first = *UUID::fromString("00000000-0000-4000-8000-000000000001");
  const UUID second = *UUID::fromString("00000000-0000-4000-8000-000000000002");
  for (const UUID& device : {second, first}) std::ofstream(mirror.journalFile(device)).put('\n');
  const std::filesystem::path journals = mirror.journalFile(first).parent_path();
  std::ofstream(journals / "notes.txt").put('\n');
  std::ofstream(journals / "not-a-device.jsonl").put('\n');
  std::ofstream(journals / (first.uuidString() + " (conflicted copy).jsonl")).put('\n');
  // Only files are journals: a pipe or folder under a device's name is none.
  ASSERT_EQ(::mkfifo((journals / (second.uuidString() + " (pipe).jsonl")).c_str(), 0600), 0);
  std::filesystem::create_directory(journals / (second.uuidString() + " (folder).jsonl"));

  Result<std::vector<MirrorFolder::Journal>> found = mirror.journals();
  ASSERT_TRUE(found.ok());
  std::vector<std::pair<UUID, std::string>> named;
  for (const MirrorFolder::Journal& journal : *found) {
    named.emplace_back(journal.device, journal.name);
    EXPECT_EQ(journal.path, journals / (journal.name + ".jsonl"));
  }
  EXPECT_THAT(named, ElementsAre(std::pair(first, first.uuidString()),
                                 std::pair(first, first.uuidString() + " (conflicted copy)"),
                                 std::pair(second, second.uuidString())));
}

TEST(MirrorFolderName, AContainerIdentifierThatIsNoFileNameIsRefused) {
  EXPECT_THROW(MirrorFolder(MirrorSettings::configured("/tmp"), "../escape"), ProgrammerError);
}

TEST(MirrorSettingsResolution, TheEnvironmentWinsAndOtherwiseApplicationSupportHoldsTheRoot) {
  const Result<std::filesystem::path> support = std::filesystem::path("/home/u/.local/share/app");

  MirrorSettings configured = MirrorSettings::resolve(std::string("/srv/shared"), support);
  EXPECT_EQ(configured.root, std::filesystem::path("/srv/shared"));
  EXPECT_TRUE(configured.rootConfigured);

  MirrorSettings relative = MirrorSettings::resolve(std::string("shared"), support);
  EXPECT_EQ(relative.root, std::filesystem::current_path() / "shared");

  for (const std::optional<std::string>& unset :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    MirrorSettings fallback = MirrorSettings::resolve(unset, support);
    EXPECT_EQ(fallback.root, std::filesystem::path("/home/u/.local/share/app/CloudMirror"));
    EXPECT_FALSE(fallback.rootConfigured);
  }

  MirrorSettings none =
      MirrorSettings::resolve(std::nullopt, pathsError(PathsErrorCode::NoHomeDirectory, "no home"));
  EXPECT_FALSE(none.root);
}

TEST(HybridLogicalClockStamps, FollowTheWallClockButNeverRunBackwards) {
  HybridLogicalClock clock;
  const Date noon{700000000.0};
  const std::int64_t first = clock.tick(noon);
  EXPECT_EQ(first, HybridLogicalClock::physicalStamp(noon));
  const std::int64_t sameMillisecond = clock.tick(noon);
  EXPECT_EQ(sameMillisecond, first + 1);

  const std::int64_t clockSetBack = clock.tick(Date{noon.secondsSinceReferenceDate - 3600});
  EXPECT_GT(clockSetBack, sameMillisecond);

  clock.receive(HybridLogicalClock::physicalStamp(Date{noon.secondsSinceReferenceDate + 60}));
  const std::int64_t afterAFastDevice = clock.tick(noon);
  EXPECT_GT(afterAFastDevice, HybridLogicalClock::physicalStamp(Date{noon.secondsSinceReferenceDate + 60}));

  const std::int64_t later = clock.tick(Date{noon.secondsSinceReferenceDate + 120});
  EXPECT_EQ(later, HybridLogicalClock::physicalStamp(Date{noon.secondsSinceReferenceDate + 120}));

  EXPECT_EQ(HybridLogicalClock::physicalStamp(Date::distantPast()), 0);
}

TEST(HybridLogicalClockStamps, TheLargestStampReceivedNeverWrapsRound) {
  HybridLogicalClock clock;
  clock.receive(std::numeric_limits<std::int64_t>::max());  // a damaged journal line
  EXPECT_EQ(clock.tick(Date{700000000.0}), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(clock.tick(Date{700000000.0}), std::numeric_limits<std::int64_t>::max()) << "saturates";
}

// What counts as far ahead is measured from this machine's own wall clock, its latest reading
// when the clock has since been set back; never from stamps taken from elsewhere.
TEST(HybridLogicalClockStamps, TheReachFollowsTheLatestWallClockReadingAndNoReceivedStamp) {
  const Date noon{700000000.0};
  const auto daysAfterNoon = [&](double days) {
    return HybridLogicalClock::physicalStamp(Date{noon.secondsSinceReferenceDate + days * 86400});
  };
  HybridLogicalClock clock;
  EXPECT_TRUE(clock.isWithinReach(daysAfterNoon(29), noon));
  EXPECT_FALSE(clock.isWithinReach(daysAfterNoon(31), noon));

  clock.receive(daysAfterNoon(29));
  EXPECT_FALSE(clock.isWithinReach(daysAfterNoon(58), noon)) << "a received stamp widens nothing";
  EXPECT_GT(clock.tick(noon), daysAfterNoon(29)) << "though stamps still follow it";
  EXPECT_FALSE(clock.isWithinReach(daysAfterNoon(58), noon)) << "nor do stamps issued after it";

  clock.noteWallClock(Date{noon.secondsSinceReferenceDate + 10 * 86400});
  const Date setBack{noon.secondsSinceReferenceDate - 60 * 86400};
  EXPECT_TRUE(clock.isWithinReach(daysAfterNoon(39), setBack)) << "the latest reading holds";
  EXPECT_FALSE(clock.isWithinReach(daysAfterNoon(41), setBack));
  EXPECT_EQ(clock.wallClock(), daysAfterNoon(10));

  EXPECT_TRUE(HybridLogicalClock::isWithinReachOf(std::numeric_limits<std::int64_t>::max(),
                                                  std::numeric_limits<std::int64_t>::max() - 1))
      << "no overflow at the top";
}

}  // namespace
}  // namespace platform
