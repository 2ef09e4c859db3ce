#include "sdk-utilities/userdefaults/CVUUserDefaults.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/plist/PropertyList.h"
#include "sdk-utilities/tests/LoggerCapture.h"
#include "sdk-utilities/tests/TestBundle.h"

namespace beacon {
namespace {

using platform::Value;
using Lines = std::vector<platform::CapturedLogLine>;

class CVUUserDefaultsTest : public testing::LoggerTest {
 protected:
  std::filesystem::path domainFile(const std::string& domain) const {
    return bundle_.configHome() / testing::kTestBundleIdentifier / "Preferences" / (domain + ".plist");
  }

  testing::TestBundle bundle_;
};

TEST_F(CVUUserDefaultsTest, EveryKindOfValueIsOnDiskRightAfterTheWrite) {
  CVUUserDefaults defaults;
  const Value date(platform::Date{700000000});
  const Value list(platform::Array{Value("a"), Value(1)});
  const Value record(platform::Dictionary{{"k", Value(2.5)}});
  defaults.setObject(Value("text"), "string");
  defaults.setObject(platform::Bytes{1, 2, 3}, "bytes");
  defaults.setObject(date, "date");
  defaults.setObject(list, "array");
  defaults.setObject(record, "dictionary");
  defaults.setInteger(-42, "integer");
  defaults.setDouble(0.25, "double");
  defaults.setFloat(1.5f, "float");
  defaults.setBool(true, "bool");

  auto onDisk = platform::readPropertyListFile(domainFile(testing::kTestBundleIdentifier));
  ASSERT_TRUE(onDisk.ok());
  ASSERT_NE(onDisk->find("array"), nullptr);
  EXPECT_EQ(*onDisk->find("array"), list);
  EXPECT_EQ(onDisk->asDictionary()->size(), 9u);

  // A fresh start reads it all back.
  testing::TestBundle::forgetCachedState();
  EXPECT_EQ(defaults.stringForKey("string"), Value("text"));
  EXPECT_EQ(defaults.objectForKey("bytes"), Value(platform::Bytes{1, 2, 3}));
  EXPECT_EQ(defaults.objectForKey("date"), date);
  EXPECT_EQ(defaults.arrayForKey("array"), list);
  EXPECT_EQ(defaults.dictionaryForKey("dictionary"), record);
  EXPECT_EQ(defaults.integerForKey("integer"), -42);
  EXPECT_EQ(defaults.doubleForKey("double"), 0.25);
  EXPECT_EQ(defaults.floatForKey("float"), 1.5f);
  EXPECT_TRUE(defaults.boolForKey("bool"));
  EXPECT_EQ(writtenLines(), Lines{});
}

TEST_F(CVUUserDefaultsTest, SuitesAreSeparateDomainsAndAnEmptyNameIsTheApplications) {
  CVUUserDefaults suite(std::string("com.corvane.BCNInstallations"));
  CVUUserDefaults application(std::string(""));
  suite.setBool(true, "flag");
  application.setInteger(7, "flag");

  EXPECT_TRUE(std::filesystem::exists(domainFile("com.corvane.BCNInstallations")));
  EXPECT_TRUE(suite.boolForKey("flag"));
  EXPECT_EQ(CVUUserDefaults().integerForKey("flag"), 7);
  EXPECT_EQ(CVUUserDefaults::standardUserDefaults()->integerForKey("flag"), 7);
  EXPECT_EQ(CVUUserDefaults::standardUserDefaults(), CVUUserDefaults::standardUserDefaults());
  EXPECT_THROW(CVUUserDefaults(std::string("a/b")), platform::ProgrammerError);
}

TEST_F(CVUUserDefaultsTest, AStoreFollowsEachNewTableOfDomainsAndEachNewMainBundle) {
  CVUUserDefaults application;
  CVUUserDefaults suite(std::string("suite"));
  application.setInteger(1, "n");
  suite.setInteger(1, "n");

  // A new table hands out new domain objects: values written through them are what the stores read.
  platform::PreferencesDomain::resetForTesting();
  ASSERT_TRUE(platform::PreferencesDomain::application()->setObject("n", Value(2)).ok());
  ASSERT_TRUE(platform::PreferencesDomain::named("suite")->setObject("n", Value(2)).ok());
  EXPECT_EQ(application.integerForKey("n"), 2);
  EXPECT_EQ(suite.integerForKey("n"), 2);

  // A new main bundle with another identifier names another application domain, in the same table.
  const auto info = platform::writePropertyList(
      Value(platform::Dictionary{{"CFBundleIdentifier", Value("de.example.other")}}),
      platform::PropertyListFormat::Xml);
  ASSERT_TRUE(info.ok());
  bundle_.writeFile("Info.plist", std::string(info->begin(), info->end()));
  platform::Bundle::resetMainForTesting();
  EXPECT_EQ(application.integerForKey("n"), 0);
  application.setInteger(3, "n");
  EXPECT_EQ(platform::PreferencesDomain::named("de.example.other")->integerForKey("n"), 3);
  EXPECT_EQ(suite.integerForKey("n"), 2);
}

TEST_F(CVUUserDefaultsTest, TypedReadsGiveNumbersOrZeroAndObjectsUnchecked) {
  CVUUserDefaults defaults;
  defaults.setObject(Value("42"), "numeric text");
  defaults.setObject(Value(12), "number");
  EXPECT_EQ(defaults.integerForKey("numeric text"), 42);
  EXPECT_TRUE(defaults.boolForKey("numeric text"));
  EXPECT_EQ(defaults.integerForKey("missing"), 0);
  EXPECT_FALSE(defaults.boolForKey("missing"));
  EXPECT_EQ(defaults.doubleForKey("missing"), 0.0);
  // Read as a string, a stored number comes back as the number it is.
  EXPECT_EQ(defaults.stringForKey("number"), Value(12));
  EXPECT_EQ(defaults.arrayForKey("missing"), std::nullopt);
}

TEST_F(CVUUserDefaultsTest, RemovingWorksAndAMissingKeyIsRemovedSilently) {
  CVUUserDefaults defaults;
  defaults.setObject(Value("x"), "gone");
  defaults.removeObjectForKey("gone");
  defaults.setObject(Value("y"), "also gone");
  defaults.setObject(std::nullopt, "also gone");
  defaults.removeObjectForKey("never there");

  testing::TestBundle::forgetCachedState();
  EXPECT_EQ(defaults.objectForKey("gone"), std::nullopt);
  EXPECT_EQ(defaults.objectForKey("also gone"), std::nullopt);
  EXPECT_EQ(writtenLines(), Lines{});
}

TEST_F(CVUUserDefaultsTest, AnEmptyKeyIsRefusedWithAWarning) {
  CVUUserDefaults defaults;
  defaults.setObject(Value("kept"), "");
  EXPECT_EQ(defaults.objectForKey(""), std::nullopt);
  EXPECT_EQ(platform::PreferencesDomain::application()->objectForKey(""), std::nullopt);
  EXPECT_EQ(
      writtenLines(),
      (Lines{line(4, " - <CorvaneUtilities>[I-CVU000002] Cannot set object for invalid user default key."),
             line(4, " - <CorvaneUtilities>[I-CVU000001] Cannot get object for invalid user default key.")}));
}

TEST_F(CVUUserDefaultsTest, AValueWithoutPropertyListFormIsRefusedAndTheOldOneStays) {
  CVUUserDefaults defaults;
  defaults.setObject(Value("old"), "key");
  defaults.setObject(Value(), "key");
  defaults.setObject(Value(platform::Array{Value(1), Value()}), "key");
  EXPECT_EQ(defaults.objectForKey("key"), Value("old"));
  const std::string text =
      " - <CorvaneUtilities>[I-CVU000003] Cannot set invalid object to user defaults. Must be a string, "
      "number, "
      "array, dictionary, date, or data. Value: ";
  EXPECT_EQ(writtenLines(), (Lines{line(4, text + "null"), line(4, text + "[1, null]")}));
}

TEST_F(CVUUserDefaultsTest, AWriteThatCannotReachTheDiskIsLoggedAndKeptInMemory) {
  // A file where the application's configuration folder belongs: nothing can be written.
  std::filesystem::create_directories(bundle_.configHome());
  std::ofstream(bundle_.configHome() / testing::kTestBundleIdentifier) << "in the way";
  CVUUserDefaults defaults;
  defaults.setInteger(5, "key");
  EXPECT_EQ(defaults.integerForKey("key"), 5);
  // The preferences layer names the folder and the reason, then the SDK logs its own line.
  const Lines lines = writtenLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].level, 3);
  EXPECT_TRUE(lines[0].text.starts_with("Preferences \"" + std::string(testing::kTestBundleIdentifier) +
                                        "\" cannot be saved in "))
      << lines[0].text;
  EXPECT_EQ(
      lines[1],
      line(3, " - [CorvaneUtilities/UserDefaults][I-CVU000004] Cannot synchronize user defaults to disk"));
}

}  // namespace
}  // namespace beacon
