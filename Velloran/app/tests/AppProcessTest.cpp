// Runs the real velloran executable, offscreen, in a temporary home, and looks at what it left in
// the preferences and the data folder.
//
// Each run is asked to stop before it starts: the child begins with SIGTERM blocked and pending, so
// the application acts on it exactly when its event loop first runs - after the whole start-up -
// and quits cleanly. No run depends on how fast the machine is.

#include <fstream>

#include "AppProcessFixture.h"

namespace {

using platform::Value;

class AppProcessTest : public velloran::testing::AppProcessFixture {
 protected:
  std::filesystem::path storeFile() const { return user_.dataHome() / bundleIdentifier_ / "Velloran.sqlite"; }
  bool storeFileExists() const { return std::filesystem::exists(storeFile()); }
};

// Under the address sanitizer a use after free or a read through a released pointer fails the run it
// happens in; without it, one mostly goes unseen, so a few runs there only check the exit and the
// closed store. Each run costs a launch of well under a second, run one after the other to leave the
// other tests their cores.
#if defined(VELLORAN_ADDRESS_SANITIZER)
constexpr int kQuickQuits = 200;
#else
constexpr int kQuickQuits = 10;
#endif

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

  EXPECT_EQ(runApp(), 1);

  EXPECT_EQ(errors_,
            "Velloran braucht eine grafische Sitzung: weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.\n");
  EXPECT_FALSE(storeFileExists());
}

TEST_F(AppProcessTest, ADisplayThatCannotBeReachedIsNamedInOneLineAndTheAppFailsWithoutAnAbort) {
  user_.environment().set("QT_QPA_PLATFORM", std::nullopt);
  user_.environment().set("WAYLAND_DISPLAY", std::nullopt);
  user_.environment().set("DISPLAY", ":9876");

  EXPECT_EQ(runApp(), 1);

  EXPECT_NE(
      errors_.find("Velloran braucht eine grafische Sitzung: die Anzeige „:9876“ ist nicht erreichbar.\n"),
      std::string::npos)
      << errors_;
  EXPECT_FALSE(storeFileExists());
}

TEST_F(AppProcessTest, ALibraryFolderThatCannotBeMadeIsNamedAndTheAppFailsWithoutAnAbort) {
  // A file where the data folder should be: no folder can be made under it, even by root.
  std::filesystem::create_directories(user_.root());
  std::ofstream(user_.dataHome()).put('x');

  // The stop request closes the message box, as a log-out would.
  EXPECT_EQ(runApp(), 1);

  EXPECT_NE(errors_.find("Velloran kann nicht starten: Die Bibliothek im Ordner „" +
                         (user_.dataHome() / bundleIdentifier_).string() + "“ lässt sich nicht öffnen."),
            std::string::npos)
      << errors_;
  EXPECT_EQ(errors_.find("Fatal error"), std::string::npos) << errors_;
}

TEST_F(AppProcessTest, QuittingRightAfterStartEndsCleanlyWithTheStoreClosedEveryTime) {
  // Each run quits as its event loop starts, while the mirror's first cycle and the analytics SDK's
  // start may still be under way on their workers; every run after the first opens the library and
  // mirror folder the last one left.
  for (int run = 0; run < kQuickQuits; ++run) {
    ASSERT_EQ(runApp(), 0) << "run " << run << ":\n" << errors_;
    ASSERT_EQ(errors_.find("Sanitizer"), std::string::npos) << "run " << run << ":\n" << errors_;
    ASSERT_TRUE(storeFileExists());
    for (const char* companion : {"-wal", "-shm"}) {
      ASSERT_FALSE(std::filesystem::exists(storeFile().string() + companion))
          << "run " << run << " left " << companion;
    }
  }
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

  EXPECT_EQ(runApp(), 0);

  EXPECT_EQ(storedPreferences(), kEarlierState);
  EXPECT_FALSE(storeFileExists());
}

TEST_F(AppProcessTest, AnOrdinaryRunKeepsItsLibraryOnDisk) {
  preferencesHold(kEarlierState);
  EXPECT_EQ(runApp(), 0);
  EXPECT_TRUE(storeFileExists());
}

}  // namespace
