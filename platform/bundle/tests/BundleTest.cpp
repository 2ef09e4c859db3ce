#include "platform/bundle/Bundle.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/plist/PropertyList.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

constexpr const char* kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>de.example.velloran</string>
  <key>CFBundleShortVersionString</key><string> 2.3.1 </string>
  <key>APP_STORE_ID</key><string>123456789</string>
  <key>BeaconDataCollectionDefaultEnabled</key><false/>
</dict>
</plist>
)";

class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override { Bundle::resetMainForTesting(); }
  void TearDown() override { Bundle::resetMainForTesting(); }

  void writeBundleFile(const std::string& name, const std::string& contents) {
    std::ofstream(user_.bundle() / name, std::ios::binary) << contents;
  }

  testing::TemporaryUser user_;
};

TEST_F(BundleTest, MainBundleReadsItsInfoPlist) {
  writeBundleFile("Info.plist", kInfoPlist);
  auto bundle = Bundle::main();
  EXPECT_EQ(bundle->path(), user_.bundle());
  EXPECT_EQ(bundle->bundleIdentifier(), "de.example.velloran");
  // Returned as stored; trimming is the caller's business.
  EXPECT_EQ(bundle->shortVersionString(), " 2.3.1 ");
  ASSERT_NE(bundle->objectForInfoDictionaryKey("APP_STORE_ID"), nullptr);
  EXPECT_EQ(*bundle->objectForInfoDictionaryKey("APP_STORE_ID"), Value("123456789"));
  EXPECT_EQ(*bundle->objectForInfoDictionaryKey("BeaconDataCollectionDefaultEnabled"), Value(false));
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("Missing"), nullptr);
  EXPECT_EQ(bundle->infoDictionary().size(), 4u);
}

TEST_F(BundleTest, DamagedOrMissingInfoPlistGivesAnEmptyDictionary) {
  for (std::string contents :
       {std::string("<plist><dict><key>broken"), std::string("\x00\x01garbage", 9),
        std::string("<?xml version=\"1.0\"?><plist><array><string>x</string></array></plist>"),
        std::string()}) {
    writeBundleFile("Info.plist", contents);
    auto bundle = Bundle::atPath(user_.bundle());
    ASSERT_NE(bundle, nullptr);
    EXPECT_TRUE(bundle->infoDictionary().empty());
    EXPECT_EQ(bundle->bundleIdentifier(), std::nullopt);
    EXPECT_EQ(bundle->shortVersionString(), std::nullopt);
  }
  std::filesystem::remove(user_.bundle() / "Info.plist");
  EXPECT_TRUE(Bundle::main()->infoDictionary().empty());
}

TEST_F(BundleTest, IdentifierAndVersionMustBeStrings) {
  writeBundleFile("Info.plist", R"(<?xml version="1.0"?><plist version="1.0"><dict>
    <key>CFBundleIdentifier</key><string></string>
    <key>CFBundleShortVersionString</key><integer>3</integer></dict></plist>)");
  auto bundle = Bundle::main();
  EXPECT_EQ(bundle->bundleIdentifier(), std::nullopt);
  EXPECT_EQ(bundle->shortVersionString(), std::nullopt);
  EXPECT_EQ(*bundle->objectForInfoDictionaryKey("CFBundleShortVersionString"), Value(3));
}

TEST_F(BundleTest, BinaryInfoPlistIsRead) {
  auto binary = writePropertyList(Value(Dictionary{{"CFBundleIdentifier", Value("de.example.binary")}}),
                                  PropertyListFormat::Binary);
  ASSERT_TRUE(binary.ok());
  writeBundleFile("Info.plist", std::string(binary->begin(), binary->end()));
  EXPECT_EQ(Bundle::main()->bundleIdentifier(), "de.example.binary");
}

TEST_F(BundleTest, ResourcesAreFilesInTheBundleFolder) {
  writeBundleFile("BeaconService-Info.plist", "<plist/>");
  writeBundleFile("README", "text");
  std::filesystem::create_directories(user_.bundle() / "Folder.plist");
  auto bundle = Bundle::atPath(user_.bundle());

  EXPECT_EQ(bundle->pathForResource("BeaconService-Info", "plist"),
            user_.bundle() / "BeaconService-Info.plist");
  EXPECT_EQ(bundle->pathForResource("BeaconService-Info", ".plist"),
            user_.bundle() / "BeaconService-Info.plist");
  EXPECT_EQ(bundle->pathForResource("README", ""), user_.bundle() / "README");
  EXPECT_EQ(bundle->pathForResource("Missing", "plist"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("Folder", "plist"), std::nullopt);
  EXPECT_EQ(Bundle::atPath(user_.bundle() / "README"), nullptr);
  EXPECT_EQ(Bundle::atPath(user_.root() / "nowhere"), nullptr);
}

TEST_F(BundleTest, ResourceNamesCannotReachOutsideTheBundle) {
  std::ofstream(user_.root() / "outside.plist") << "<plist/>";
  auto bundle = Bundle::atPath(user_.bundle());
  EXPECT_EQ(bundle->pathForResource("../outside", "plist"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("..", ""), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("", "plist"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("outside", "/plist"), std::nullopt);
}

}  // namespace
}  // namespace platform
