// What the user is told when the library cannot be opened at start: the cause read from the failure's
// codes and the folder's condition, the folder named, and the store's own report kept for whoever
// looks closer.

#include "Velloran/app/StartupFailure.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <variant>

#include "Velloran/viewmodels/StoreFailureText.h"
#include "platform/bundle/Bundle.h"
#include "platform/pstore/testing/FullDisk.h"
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

// By the time the folder is looked at, the failed start has taken its files away again: the disk
// may have room by then, and the failure's own codes still say it was full.
TEST(StartupFailureTest, AFailureThatSaysTheDiskIsFullIsNamedAsFullWhateverRoomThereIsNow) {
  const FolderCondition roomy{true, 1'000'000'000};
  const std::string full = startupFailureCause(kFailure, FolderCondition{true, 0});
  const StoreOpenFailure engineFull{
      "Failed to load CloudKit store: SQLiteErrorDomain 13: COMMIT: database or disk is full",
      platform::Error("SQLiteErrorDomain", 13, "COMMIT: database or disk is full"), kFailure.folder};
  EXPECT_EQ(startupFailureCause(engineFull, roomy), full);

  // The engine saw only a failed write; the system said why.
  platform::Error ioError("SQLiteErrorDomain", 10, "disk I/O error",
                          {{std::string(platform::kErrnoKey), platform::Value(ENOSPC)}});
  EXPECT_EQ(startupFailureCause({"report", ioError, kFailure.folder}, roomy), full);
  platform::Error wrapped("PersistentStoreErrorDomain", 134060, "could not make the store");
  wrapped.causedBy(ioError);
  EXPECT_EQ(startupFailureCause({"report", wrapped, kFailure.folder}, roomy), full);

  // A folder that accepts no writes is named as such, whatever the failure.
  EXPECT_EQ(startupFailureCause(engineFull, FolderCondition{false, 1'000'000'000}),
            startupFailureCause(kFailure, FolderCondition{false, 1'000'000'000}));
  // Another reason of the system is no full disk.
  ioError.userInfo[std::string(platform::kErrnoKey)] = platform::Value(EIO);
  EXPECT_EQ(startupFailureCause({"report", ioError, kFailure.folder}, roomy),
            startupFailureCause(kFailure, roomy));
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

// A first start on a small disk, as the application opens its library: the store cannot be made,
// the start takes away what it made, and the user is told the disk is full. On the smallest disk
// the engine fails a write it cannot tell from any other fault; the system's reason says why.
TEST(StartupFailureTest, AFirstStartOnAFullDiskIsToldTheDiskIsFull) {
  platform::testing::TemporaryUser user;
  user.writeInfo({{"CFBundleIdentifier", platform::Value("com.velloran.tests")}});
  platform::Bundle::resetMainForTesting();
  std::filesystem::create_directories(user.dataHome());
  const std::filesystem::path told = user.root() / "told.txt";
  enum Outcome { opened, failedSayingFull, failedOtherwise };

  for (const std::uintmax_t size : {16 * 1024, 64 * 1024, 96 * 1024}) {
    const int outcome = platform::testing::runOnSmallFileSystem(user.dataHome(), size, [&] {
      std::variant<CoreDataStack, StoreOpenFailure> stack =
          CoreDataStack::open(false, CoreDataStack::makePlainContainer);
      const auto* failure = std::get_if<StoreOpenFailure>(&stack);
      if (!failure) return opened;
      std::ofstream(told) << startupFailureLine(*failure, FolderCondition::of(failure->folder));
      return reportsFullDisk(failure->error) ? failedSayingFull : failedOtherwise;
    });
    if (outcome == platform::testing::kNoFullDisk) GTEST_SKIP() << "this system lends no small file system";
    const std::string line = platform::testing::fileContents(told);
    EXPECT_EQ(outcome, failedSayingFull) << size << " bytes: " << line;
    EXPECT_NE(line.find("ist voll."), std::string::npos) << size << " bytes: " << line;
  }
  platform::Bundle::resetMainForTesting();
}

}  // namespace
}  // namespace velloran
