#include "platform/prefs/PreferencesDomain.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/bundle/Bundle.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/prefs/PreferencesError.h"
#include "platform/syslog/SystemLogCapture.h"
#include "platform/testing/ProcessesAtOnce.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

constexpr const char* kAppId = "de.example.velloran";

class PreferencesDomainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    user_.writeInfo({{"CFBundleIdentifier", kAppId}});
    restart();
  }
  void TearDown() override { restart(); }

  // What a new process would see: nothing cached, everything read from disk again.
  static void restart() {
    PreferencesDomain::resetForTesting();
    Bundle::resetMainForTesting();
  }

  std::filesystem::path fileOf(const std::string& domain) const {
    return user_.configHome() / kAppId / "Preferences" / (domain + ".plist");
  }

  testing::TemporaryUser user_;
};

TEST_F(PreferencesDomainTest, TwoObjectsForOneDomainSeeEachOthersWrites) {
  auto viaApplication = PreferencesDomain::application();
  auto viaName = PreferencesDomain::named(kAppId);
  EXPECT_EQ(viaApplication->name(), kAppId);

  ASSERT_TRUE(viaApplication->setObject("analyticsEnabled", false).ok());
  EXPECT_EQ(viaName->objectForKey("analyticsEnabled"), Value(false));

  ASSERT_TRUE(viaName->setObject("appLaunchCountForCurrentVersion", 3).ok());
  EXPECT_EQ(viaApplication->integerForKey("appLaunchCountForCurrentVersion"), 3);

  viaApplication->removeObject("analyticsEnabled");
  EXPECT_EQ(viaName->objectForKey("analyticsEnabled"), std::nullopt);

  // A suite is a domain of its own.
  ASSERT_TRUE(PreferencesDomain::named("group.shared")->setObject("appLaunchCountForCurrentVersion", 9).ok());
  EXPECT_EQ(viaName->integerForKey("appLaunchCountForCurrentVersion"), 3);
}

TEST_F(PreferencesDomainTest, ValuesAndTheirKindsSurviveARestart) {
  Dictionary stored{{"bool", Value(true)},
                    {"integer", Value(-9007199254740993LL)},
                    {"double", Value(0.25)},
                    {"string", Value("Übersicht")},
                    {"date", Value(Date{700000000})},
                    {"data", Value(Bytes{0, 1, 255})},
                    {"array", Value(Array{Value("de")})},
                    {"dictionary", Value(Dictionary{{"nested", Value(1)}})}};
  auto domain = PreferencesDomain::application();
  for (const auto& [key, value] : stored) ASSERT_TRUE(domain->setObject(key, value).ok()) << key;
  EXPECT_TRUE(testing::fileContents(fileOf(kAppId)).starts_with("<?xml"));

  restart();
  auto reread = PreferencesDomain::application();
  EXPECT_NE(reread, domain);
  for (const auto& [key, value] : stored) {
    auto found = reread->objectForKey(key);
    ASSERT_TRUE(found.has_value()) << key;
    EXPECT_EQ(*found, value) << key;
    EXPECT_EQ(found->kind(), value.kind()) << key;
  }
}

TEST_F(PreferencesDomainTest, TypedReadsConvertLenientlyAndNeverFail) {
  auto domain = PreferencesDomain::named("typed");
  ASSERT_TRUE(domain->setObject("yes", "YES").ok());
  ASSERT_TRUE(domain->setObject("no", "no").ok());
  ASSERT_TRUE(domain->setObject("number", 42).ok());
  ASSERT_TRUE(domain->setObject("numericText", " 17").ok());
  ASSERT_TRUE(domain->setObject("half", 2.5).ok());
  ASSERT_TRUE(domain->setObject("date", Date{1}).ok());
  ASSERT_TRUE(domain->setObject("list", Array{Value(1)}).ok());

  EXPECT_TRUE(domain->boolForKey("yes"));
  EXPECT_FALSE(domain->boolForKey("no"));
  EXPECT_TRUE(domain->boolForKey("number"));
  EXPECT_EQ(domain->integerForKey("numericText"), 17);
  EXPECT_EQ(domain->integerForKey("half"), 2);
  EXPECT_EQ(domain->doubleForKey("number"), 42.0);
  EXPECT_EQ(domain->stringForKey("number"), "42");
  EXPECT_EQ(domain->stringForKey("yes"), "YES");

  // Values of another kind read as "nothing", never as a failure.
  EXPECT_FALSE(domain->boolForKey("date"));
  EXPECT_EQ(domain->integerForKey("list"), 0);
  EXPECT_EQ(domain->doubleForKey("date"), 0.0);
  EXPECT_EQ(domain->stringForKey("list"), std::nullopt);
  EXPECT_EQ(domain->arrayForKey("yes"), std::nullopt);
  EXPECT_EQ(domain->dictionaryForKey("list"), std::nullopt);
  EXPECT_EQ(domain->arrayForKey("list"), (Array{Value(1)}));

  // Absent keys.
  EXPECT_FALSE(domain->boolForKey("absent"));
  EXPECT_EQ(domain->integerForKey("absent"), 0);
  EXPECT_EQ(domain->stringForKey("absent"), std::nullopt);
  EXPECT_EQ(domain->dictionaryForKey("absent"), std::nullopt);
}

TEST_F(PreferencesDomainTest, ValuesWithoutAPropertyListFormAreRefusedAndChangeNothing) {
  auto domain = PreferencesDomain::named("strict");
  ASSERT_TRUE(domain->setObject("kept", "old").ok());
  for (const Value& bad : {Value(), Value(Array{Value(1), Value()}), Value(Dictionary{{"inner", Value()}}),
                           Value(Date::distantPast()), Value(std::string("\xff\xfe", 2))}) {
    auto result = domain->setObject("kept", bad);
    ASSERT_FALSE(result.ok()) << bad.description();
    EXPECT_TRUE(isPreferencesError(result.error(), PreferencesErrorCode::InvalidValue));
    EXPECT_NE(result.error().description.find("kept"), std::string::npos);
  }
  EXPECT_EQ(domain->objectForKey("kept"), Value("old"));
  EXPECT_TRUE(domain->synchronize());
  restart();
  EXPECT_EQ(PreferencesDomain::named("strict")->objectForKey("kept"), Value("old"));
}

TEST_F(PreferencesDomainTest, ADamagedFileIsKeptAsideAndTheDomainStartsAfresh) {
  std::filesystem::create_directories(fileOf(kAppId).parent_path());
  std::ofstream(fileOf(kAppId)) << "<plist><dict><key>truncated";

  auto domain = PreferencesDomain::application();
  EXPECT_EQ(domain->objectForKey("anything"), std::nullopt);
  ASSERT_TRUE(domain->setObject("fresh", 1).ok());

  std::vector<std::filesystem::path> aside;
  for (const auto& entry : std::filesystem::directory_iterator(fileOf(kAppId).parent_path())) {
    if (entry.path().filename().string().starts_with(std::string(kAppId) + ".plist.corrupt-")) {
      aside.push_back(entry.path());
    }
  }
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(testing::fileContents(aside.front()), "<plist><dict><key>truncated");

  restart();
  EXPECT_EQ(PreferencesDomain::application()->integerForKey("fresh"), 1);
}

// The file damaged while the domain is in use: the domain still holds every value it read or set, so
// the next write keeps them all, not only the key it changed.
TEST_F(PreferencesDomainTest, AFileDamagedInUseLosesNoValueTheDomainHolds) {
  auto domain = PreferencesDomain::named("suite");
  ASSERT_TRUE(domain->setObject("analyticsEnabled", false).ok());
  ASSERT_TRUE(domain->setObject("lastSeenAppVersion", "2.0").ok());
  std::ofstream(fileOf("suite"), std::ios::trunc) << "<plist><dict><key>trunc";

  ASSERT_TRUE(domain->setObject("appLaunchCountForCurrentVersion", 3).ok());
  restart();
  auto reread = PreferencesDomain::named("suite");
  EXPECT_EQ(reread->objectForKey("analyticsEnabled"), Value(false));
  EXPECT_EQ(reread->stringForKey("lastSeenAppVersion"), "2.0");
  EXPECT_EQ(reread->integerForKey("appLaunchCountForCurrentVersion"), 3);
}

TEST_F(PreferencesDomainTest, AFileWithAValueThatCannotBeWrittenBackIsDamageNotAnEndlessFailure) {
  // A date far outside the window the file format can write back, beside an ordinary value.
  const std::string contents =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>old</key><date>1900-01-01T00:00:00Z</date><key>kept</key><integer>1</integer></dict></plist>\n";
  std::filesystem::create_directories(fileOf(kAppId).parent_path());
  std::ofstream(fileOf(kAppId)) << contents;

  auto domain = PreferencesDomain::application();
  EXPECT_EQ(domain->objectForKey("kept"), std::nullopt) << "the damaged file is set aside whole";
  EXPECT_TRUE(domain->setObject("fresh", 2).ok());
  EXPECT_TRUE(domain->synchronize());

  bool keptAside = false;
  for (const auto& entry : std::filesystem::directory_iterator(fileOf(kAppId).parent_path())) {
    keptAside |= entry.path().filename().string().starts_with(std::string(kAppId) + ".plist.corrupt-") &&
                 testing::fileContents(entry.path()) == contents;
  }
  EXPECT_TRUE(keptAside);
  restart();
  EXPECT_EQ(PreferencesDomain::application()->integerForKey("fresh"), 2)
      << "later changes outlive the launch";
}

TEST_F(PreferencesDomainTest, RemoveDomainEmptiesItAndDeletesTheFile) {
  auto domain = PreferencesDomain::application();
  ASSERT_TRUE(domain->setObject("userHasRatedApp", true).ok());
  ASSERT_TRUE(domain->setObject("lastSeenAppVersion", "1.0").ok());

  ASSERT_TRUE(PreferencesDomain::removeDomain(kAppId).ok());
  EXPECT_EQ(domain->objectForKey("userHasRatedApp"), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(fileOf(kAppId)));
  EXPECT_TRUE(domain->synchronize());

  ASSERT_TRUE(domain->setObject("analyticsEnabled", false).ok());
  restart();
  auto reread = PreferencesDomain::application();
  EXPECT_EQ(reread->objectForKey("userHasRatedApp"), std::nullopt);
  EXPECT_EQ(reread->objectForKey("analyticsEnabled"), Value(false));
}

TEST_F(PreferencesDomainTest, RemoveDomainBeforeAnyUseDoesNotResurrectOldValues) {
  ASSERT_TRUE(PreferencesDomain::application()->setObject("old", 1).ok());
  restart();
  ASSERT_TRUE(PreferencesDomain::removeDomain(kAppId).ok());
  EXPECT_EQ(PreferencesDomain::application()->objectForKey("old"), std::nullopt);
  restart();
  EXPECT_EQ(PreferencesDomain::application()->objectForKey("old"), std::nullopt);
}

TEST_F(PreferencesDomainTest, ChangesAreAnnouncedWithDomainAndKey) {
  auto domain = PreferencesDomain::named("watched");
  std::vector<std::optional<Dictionary>> heard;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kPreferencesDidChangeNotification, domain.get(), nullptr,
      [&](const Notification& notification) { heard.push_back(notification.userInfo); });

  ASSERT_TRUE(domain->setObject("k", 1).ok());
  domain->removeObject("k");
  domain->removeObject("never there");
  ASSERT_TRUE(PreferencesDomain::named("other")->setObject("k", 1).ok());
  EXPECT_FALSE(domain->setObject("k", Value()).ok());
  ASSERT_TRUE(PreferencesDomain::removeDomain("watched").ok());

  Dictionary keyChange{{kPreferencesDomainKey, Value("watched")}, {kPreferencesChangedKey, Value("k")}};
  Dictionary domainRemoved{{kPreferencesDomainKey, Value("watched")}};
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0], keyChange);
  EXPECT_EQ(heard[1], keyChange);
  EXPECT_EQ(heard[2], domainRemoved);
}

TEST_F(PreferencesDomainTest, ObserversMayReadTheDomainTheyHearAbout) {
  auto domain = PreferencesDomain::named("reentrant");
  std::optional<Value> seen;
  auto token = NotificationCenter::defaultCenter().addObserver(
      kPreferencesDidChangeNotification, domain.get(), nullptr,
      [&](const Notification&) { seen = PreferencesDomain::named("reentrant")->objectForKey("k"); });
  ASSERT_TRUE(domain->setObject("k", "v").ok());
  EXPECT_EQ(seen, Value("v"));
}

TEST_F(PreferencesDomainTest, AFailedWriteStaysPendingUntilSynchronizeSucceeds) {
  auto domain = PreferencesDomain::named("retry");
  ASSERT_EQ(domain->objectForKey("first"), std::nullopt);
  // A non-empty folder where the file should go makes the next writes fail.
  std::filesystem::create_directories(fileOf("retry") / "blocker");
  EXPECT_FALSE(domain->setObject("first", 1).ok());

  const Result<void> second = domain->setObject("second", 2);
  EXPECT_FALSE(second.ok()) << "a failed write is never reported as success";
  EXPECT_EQ(domain->integerForKey("second"), 2) << "the change stays, pending";
  EXPECT_FALSE(domain->synchronize());

  std::filesystem::remove_all(fileOf("retry"));
  EXPECT_TRUE(domain->synchronize());
  restart();
  auto reread = PreferencesDomain::named("retry");
  EXPECT_EQ(reread->integerForKey("first"), 1);
  EXPECT_EQ(reread->integerForKey("second"), 2);
}

// Two runs of the program, each with the domain read before the other wrote it: each writes only
// what it changed, so neither undoes the other's keys.
TEST_F(PreferencesDomainTest, AWriteKeepsWhatAnotherProcessWroteSinceThisOneRead) {
  ASSERT_TRUE(PreferencesDomain::application()->setObject("stale", "old").ok());
  restart();
  auto domain = PreferencesDomain::application();
  ASSERT_EQ(domain->stringForKey("stale"), "old");

  const int other = testing::runAtOnce({[] {
    auto itsDomain = PreferencesDomain::application();
    itsDomain->removeObject("stale");
    return itsDomain->setObject("analyticsEnabled", false).ok() ? 0 : 1;
  }})[0];
  ASSERT_EQ(other, 0);
  ASSERT_TRUE(domain->setObject("lastSeenAppVersion", "2.0").ok());

  restart();
  auto reread = PreferencesDomain::application();
  EXPECT_EQ(reread->objectForKey("analyticsEnabled"), Value(false)) << "the other run's change is kept";
  EXPECT_EQ(reread->objectForKey("stale"), std::nullopt) << "and so is its removal";
  EXPECT_EQ(reread->stringForKey("lastSeenAppVersion"), "2.0");
}

TEST_F(PreferencesDomainTest, ProcessesWritingOneDomainAtOnceLoseNoKey) {
  constexpr int kProcesses = 4;
  constexpr int kKeysEach = 40;
  const auto writeKeys = [](int process) {
    auto domain = PreferencesDomain::named("shared");
    for (int key = 0; key < kKeysEach; ++key) {
      if (!domain->setObject("p" + std::to_string(process) + "-" + std::to_string(key), key).ok()) return 1;
    }
    return 0;
  };
  EXPECT_EQ(testing::runAtOnce(kProcesses, writeKeys), std::vector<int>(kProcesses, 0));

  restart();
  auto reread = PreferencesDomain::named("shared");
  int missing = 0;
  for (int process = 0; process < kProcesses; ++process) {
    for (int key = 0; key < kKeysEach; ++key) {
      if (!reread->objectForKey("p" + std::to_string(process) + "-" + std::to_string(key))) ++missing;
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST_F(PreferencesDomainTest, AFolderThatRefusesWritesIsLoggedOnceNamingIt) {
  auto domain = PreferencesDomain::named("refused");
  ASSERT_TRUE(domain->setObject("first", 1).ok());
  SystemLogCapture log;
  std::filesystem::remove(fileOf("refused"));
  std::filesystem::create_directories(fileOf("refused") / "blocker");

  EXPECT_FALSE(domain->setObject("second", 2).ok());
  EXPECT_FALSE(domain->setObject("third", 3).ok());
  domain->removeObject("first");
  EXPECT_FALSE(domain->synchronize());
  std::vector<CapturedLogLine> lines = log.lines();
  ASSERT_EQ(lines.size(), 1u) << "one line for the run of failed writes";
  EXPECT_EQ(lines[0].level, 3);
  const std::string folder = fileOf("refused").parent_path().string();
  EXPECT_TRUE(lines[0].text.starts_with("Preferences \"refused\" cannot be saved in " + folder + ", "))
      << lines[0].text;

  // Once a write succeeds, the next failure is news again.
  std::filesystem::remove_all(fileOf("refused"));
  EXPECT_TRUE(domain->synchronize());
  EXPECT_EQ(log.lines().size(), 1u);
  std::filesystem::remove(fileOf("refused"));
  std::filesystem::create_directories(fileOf("refused") / "blocker");
  EXPECT_FALSE(domain->setObject("fourth", 4).ok());
  EXPECT_EQ(log.lines().size(), 2u);
}

TEST_F(PreferencesDomainTest, AFolderThatCannotBeMadeFailsEachWriteInsteadOfKeepingValuesInMemoryOnly) {
  // The application's folder is a link to nowhere: it can be neither read nor made, as a folder on a
  // read-only disk that is not there yet.
  const std::filesystem::path folder = user_.configHome() / kAppId;
  std::filesystem::create_directories(user_.configHome());
  std::filesystem::create_directory_symlink(user_.root() / "nowhere", folder);
  SystemLogCapture log;
  auto domain = PreferencesDomain::named("unmade");

  const Result<void> written = domain->setObject("analyticsEnabled", false);
  EXPECT_FALSE(written.ok()) << "the caller learns that the choice is not kept";
  EXPECT_EQ(domain->objectForKey("analyticsEnabled"), Value(false)) << "it holds in memory meanwhile";
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_NE(log.lines()[0].text.find((folder / "Preferences").string()), std::string::npos)
      << log.lines()[0].text;

  // Where the folder can be made after all, the pending change reaches the disk.
  std::filesystem::remove(folder);
  EXPECT_TRUE(domain->synchronize());
  restart();
  EXPECT_EQ(PreferencesDomain::named("unmade")->objectForKey("analyticsEnabled"), Value(false));
}

// A file where a folder on the way belongs holds no domain to keep safe: the domain is as one never
// written, and each write fails and says so until the folder can be made.
TEST_F(PreferencesDomainTest, AFileInAFoldersPlaceFailsEachWriteInsteadOfKeepingValuesInMemoryOnly) {
  std::ofstream(user_.root() / "plain-file") << "x";
  user_.environment().set("XDG_CONFIG_HOME", (user_.root() / "plain-file" / "config").string());
  auto domain = PreferencesDomain::named("nowhere");
  EXPECT_FALSE(domain->setObject("k", 1).ok()) << "the caller learns that the value is not kept";
  EXPECT_EQ(domain->integerForKey("k"), 1);
  EXPECT_FALSE(domain->synchronize());
  EXPECT_EQ(testing::fileContents(user_.root() / "plain-file"), "x");

  std::filesystem::remove(user_.root() / "plain-file");
  EXPECT_TRUE(domain->synchronize());
  restart();
  EXPECT_EQ(PreferencesDomain::named("nowhere")->integerForKey("k"), 1);
}

// A file that can be neither read nor set aside (its folder closed to this user, as one a run under
// another account left) is never written over, and no write is reported as kept while it stands.
TEST_F(PreferencesDomainTest, AFileThatCanBeNeitherReadNorSetAsideFailsEachWriteAndIsLeftAlone) {
  ASSERT_TRUE(PreferencesDomain::named("closed")->setObject("kept", 1).ok());
  const std::string contents = testing::fileContents(fileOf("closed"));
  const std::filesystem::path folder = fileOf("closed").parent_path();
  std::filesystem::permissions(folder, std::filesystem::perms::none);
  // Every folder above stays open to the other user, who must find the bundle and reach the folder.
  std::filesystem::permissions(user_.root(),
                               std::filesystem::perms::others_read | std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);

  const int result = testing::runAtOnce({[] {
    // Folder permissions bind every user but the superuser.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 2;
    restart();
    auto domain = PreferencesDomain::named("closed");
    if (domain->setObject("lost", 2).ok()) return 1;
    return domain->synchronize() ? 1 : 0;
  }})[0];
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
  EXPECT_EQ(result, 0) << "each write fails while the file cannot be read or set aside";
  EXPECT_EQ(testing::fileContents(fileOf("closed")), contents);
}

TEST_F(PreferencesDomainTest, WithoutAUsableBundleIdentifierTheApplicationDomainIsMemoryOnly) {
  // No Info.plist, then an identifier that cannot name a file: it comes from data, so it must not raise.
  for (const char* info : {"",
                           "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier"
                           "</key><string>../escape</string></dict></plist>"}) {
    std::ofstream(user_.bundle() / "Info.plist") << info;
    restart();
    auto domain = PreferencesDomain::application();
    EXPECT_EQ(domain->name(), "");
    EXPECT_EQ(PreferencesDomain::application(), domain);
    ASSERT_TRUE(domain->setObject("k", "v").ok());
    EXPECT_EQ(domain->stringForKey("k"), "v");
    EXPECT_FALSE(domain->synchronize());
    EXPECT_FALSE(std::filesystem::exists(user_.configHome()));
    EXPECT_FALSE(std::filesystem::exists(user_.root() / "escape"));
  }
}

TEST_F(PreferencesDomainTest, DomainNamesMustBeFileNames) {
  for (std::string_view name : {"", ".", "..", "a/b", "../escape"}) {
    EXPECT_THROW(PreferencesDomain::named(name), ProgrammerError) << name;
    EXPECT_THROW((void)PreferencesDomain::removeDomain(name), ProgrammerError) << name;
  }
}

}  // namespace
}  // namespace platform
