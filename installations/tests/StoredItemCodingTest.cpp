#include <gtest/gtest.h>

#include "installations/BCNInstallationsStoredItem.h"
#include "installations/tests/InstallationsLogCapture.h"
#include "platform/plist/PropertyList.h"

namespace beacon {
namespace {

BCNInstallationsStoredItem fullItem() {
  BCNInstallationsStoredItem item;
  item.beaconInstallationID = "cAbc";
  item.refreshToken = "refresh";
  item.authToken.status = 1;
  item.authToken.token = "token";
  item.authToken.expirationDate = platform::Date{12345.25};
  item.registrationStatus = 2;
  item.IIDDefaultToken = "legacy";
  return item;
}

// The archive with every "storageVersion" set to `version`, as a newer program would write it.
platform::Bytes withStorageVersion(const platform::Bytes& archive, std::int64_t version) {
  platform::Value root = *platform::readPropertyList(archive, platform::ObjectReferences::AsDictionaries);
  for (platform::Value& entry : *(*root.asDictionary())["$objects"].asArray()) {
    if (auto* fields = entry.asDictionary(); fields && fields->count("storageVersion"))
      (*fields)["storageVersion"] = version;
  }
  return *platform::writePropertyList(root, platform::PropertyListFormat::Binary,
                                      platform::ObjectReferences::AsDictionaries);
}

class StoredItemCodingTest : public ::testing::Test {
 protected:
  std::vector<platform::CapturedLogLine> writtenLines() { return log_.lines(); }

  testing::InstallationsLogCapture log_;
};

TEST_F(StoredItemCodingTest, EveryFieldSurvivesTheArchive) {
  auto read = platform::unarchivedObject<BCNInstallationsStoredItem>(*platform::archivedData(fullItem()));
  ASSERT_TRUE(read.ok()) << read.error().debugDescription();
  const BCNInstallationsStoredItem& item = **read;
  EXPECT_EQ(item.beaconInstallationID, "cAbc");
  EXPECT_EQ(item.refreshToken, "refresh");
  EXPECT_EQ(item.authToken, fullItem().authToken);
  EXPECT_EQ(item.registrationStatus, 2);
  EXPECT_EQ(item.IIDDefaultToken, "legacy");
  EXPECT_TRUE(writtenLines().empty());
}

TEST_F(StoredItemCodingTest, ANewerArchiveIsReadWithAWarning) {
  platform::Bytes newer = withStorageVersion(*platform::archivedData(fullItem()), 2);
  auto read = platform::unarchivedObject<BCNInstallationsStoredItem>(newer);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ((*read)->beaconInstallationID, "cAbc");
  EXPECT_EQ((*read)->authToken.token, "token");
  std::vector<platform::CapturedLogLine> lines = writtenLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].text.find("I-BIS004000"), std::string::npos);
  EXPECT_NE(
      lines[0].text.find("[I-BIS003000] BCNInstallationsStoredItem was encoded by a newer coder version 2. "
                         "Current coder version is 1. Some installation data may be lost."),
      std::string::npos);
}

TEST_F(StoredItemCodingTest, AnArchiveOfAnotherClassIsRefused) {
  auto read =
      platform::unarchivedObject<BCNInstallationsStoredItem>(*platform::archivedData(fullItem().authToken));
  EXPECT_FALSE(read.ok());
}

}  // namespace
}  // namespace beacon
