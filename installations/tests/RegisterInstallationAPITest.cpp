#include <gtest/gtest.h>

#include "installations/BCNInstallationsRegisterInstallationAPI.h"

namespace beacon {
namespace {

platform::Bytes json(std::string_view text) {
  return platform::Bytes(text.begin(), text.end());
}

const platform::Date kReceived{5000};

BCNInstallationsItem sentItem() {
  BCNInstallationsItem item("1:1:ios:ab", "app");
  item.beaconInstallationID = "cSentSentSentSentSentS";
  item.registrationStatus = kBCNInstallationsRegistrationStatusUnregistered;
  item.IIDDefaultToken = "legacy";
  return item;
}

std::string missingField(const platform::Result<BCNInstallationsItem>& result) {
  return result.ok() ? "(none)" : result.error().description;
}

TEST(RegisterInstallationAPITest, ARegisterReplyWithoutBidKeepsTheSentID) {
  auto registered = BCNInstallationsRegisterInstallationAPI::registeredInstallationWithJSONData(
      sentItem(), json(R"({"refreshToken":"rt","authToken":{"token":"t","expiresIn":"604800s"}})"),
      kReceived);
  ASSERT_TRUE(registered.ok()) << registered.error().debugDescription();
  EXPECT_EQ(registered->beaconInstallationID, "cSentSentSentSentSentS");
  EXPECT_EQ(registered->refreshToken, "rt");
  EXPECT_EQ(registered->authToken.status, 1);
  EXPECT_EQ(registered->authToken.token, "t");
  EXPECT_EQ(registered->authToken.expirationDate, platform::Date{5000 + 604800});
  EXPECT_EQ(registered->registrationStatus, kBCNInstallationsRegistrationStatusRegistered);
  EXPECT_FALSE(registered->IIDDefaultToken);
  EXPECT_EQ(registered->appID(), "1:1:ios:ab");
}

TEST(RegisterInstallationAPITest, ARegisterReplyWithBidReplacesTheID) {
  auto registered = BCNInstallationsRegisterInstallationAPI::registeredInstallationWithJSONData(
      sentItem(), json(R"({"bid":"dServer","refreshToken":"rt","authToken":{"token":"t","expiresIn":"1s"}})"),
      kReceived);
  ASSERT_TRUE(registered.ok());
  EXPECT_EQ(registered->beaconInstallationID, "dServer");
}

TEST(RegisterInstallationAPITest, MissingFieldsAreNamed) {
  auto parse = [](std::string_view body) {
    return BCNInstallationsRegisterInstallationAPI::registeredInstallationWithJSONData(sentItem(), json(body),
                                                                                       kReceived);
  };
  EXPECT_EQ(missingField(parse(R"({"authToken":{"token":"t","expiresIn":"1s"}})")),
            "A required response field with name refreshToken is missing");
  EXPECT_EQ(missingField(parse(R"({"refreshToken":"","authToken":{"token":"t","expiresIn":"1s"}})")),
            "A required response field with name refreshToken is missing");
  EXPECT_EQ(missingField(parse(R"({"refreshToken":"rt","authToken":"t"})")),
            "A required response field with name authToken is missing");
  EXPECT_EQ(missingField(parse(R"({"refreshToken":"rt","authToken":{"expiresIn":"1s"}})")),
            "A required response field with name authToken.token is missing");
  EXPECT_EQ(missingField(parse(R"({"refreshToken":"rt","authToken":{"token":"t","expiresIn":7}})")),
            "A required response field with name authToken.expiresIn is missing");
  EXPECT_EQ(missingField(parse("[1]")), "Failed to serialize JSON data.");
  EXPECT_EQ(missingField(parse("<html>")), "Failed to serialize JSON data.");
}

TEST(RegisterInstallationAPITest, ExpiresInDropsItsUnitCharacter) {
  auto expiry = [](std::string_view expiresIn) {
    std::string body = R"({"token":"t","expiresIn":")" + std::string(expiresIn) + "\"}";
    auto token =
        BCNInstallationsRegisterInstallationAPI::authTokenWithGenerateTokenAPIJSONData(json(body), kReceived);
    return token->expirationDate->secondsSinceReferenceDate - kReceived.secondsSinceReferenceDate;
  };
  EXPECT_EQ(expiry("3600s"), 3600);
  EXPECT_EQ(expiry("s"), 0);
  EXPECT_EQ(expiry("3600"), 360);
  EXPECT_EQ(expiry("1.5s"), 1.5);
  EXPECT_EQ(expiry("xs"), 0);
}

}  // namespace
}  // namespace beacon
