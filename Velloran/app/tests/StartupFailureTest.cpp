// What the user is told when the library cannot be opened at start: the cause read from the folder's
// condition, the folder named, and the store's own report kept for whoever looks closer.

#include "Velloran/app/StartupFailure.h"

#include <gtest/gtest.h>

#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

const StoreOpenFailure kFailure{"Failed to load CloudKit store: SQLiteErrorDomain 10: disk I/O error",
                                platform::Error("SQLiteErrorDomain", 10, "disk I/O error"),
                                "/home/anna/.local/share/com.velloran.Velloran"};

TEST(StartupFailureTest, AFolderThatAcceptsNoWritesIsNamedAsReadOnly) {
  EXPECT_EQ(startupFailureCause(kFailure, FolderCondition{false, 1'000'000}),
            "Der Ordner „/home/anna/.local/share/com.velloran.Velloran“ ist schreibgeschützt. Velloran "
            "kann dort keine Bibliothek anlegen oder öffnen.");
}

TEST(StartupFailureTest, AFullDiskIsNamedAsFullWhateverTheStoreCalledIt) {
  EXPECT_EQ(startupFailureCause(kFailure, FolderCondition{true, kFullDiskBytes - 1}),
            "Der Datenträger mit dem Ordner „/home/anna/.local/share/com.velloran.Velloran“ ist voll. "
            "Velloran kann die Bibliothek erst öffnen, wenn wieder Platz frei ist.");
}

TEST(StartupFailureTest, AnyOtherFailureNamesTheFolderAndKeepsTheReportInTheDetails) {
  const FolderCondition roomy{true, kFullDiskBytes};
  EXPECT_EQ(startupFailureCause(kFailure, roomy),
            "Die Bibliothek im Ordner „/home/anna/.local/share/com.velloran.Velloran“ lässt sich nicht "
            "öffnen.");
  EXPECT_EQ(startupFailureMessage(kFailure, roomy),
            startupFailureCause(kFailure, roomy) + "\n\nTechnische Angabe: " + kFailure.report);
  EXPECT_EQ(
      startupFailureLine(kFailure, FolderCondition{true, std::nullopt}),
      "Velloran kann nicht starten: " + startupFailureCause(kFailure, roomy) + " (" + kFailure.report + ")");
}

TEST(StartupFailureTest, TheConditionOfAFolderNotYetMadeIsThatOfItsNearestParent) {
  platform::testing::TemporaryDirectory folder;
  const FolderCondition condition = FolderCondition::of(folder.path() / "not" / "made" / "yet");
  EXPECT_TRUE(condition.writable);
  ASSERT_TRUE(condition.availableBytes.has_value());
  EXPECT_GT(*condition.availableBytes, 0u);
}

// A file system that keeps no count of blocks (the kernel's process folder; some network and user-space
// file systems) has none free either, and is not full for it: a failure there is no full disk.
TEST(StartupFailureTest, AFileSystemThatCountsNoBlocksTellsNoFreeSpace) {
  EXPECT_FALSE(FolderCondition::of("/proc/velloran-home/.local/share").availableBytes.has_value());
}

}  // namespace
}  // namespace velloran
