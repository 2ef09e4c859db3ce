// What the installations client may write into a log line or an error's reason.
#include "installations/BCNInstallationsRedaction.h"

#include <gtest/gtest.h>

#include "platform/json/Json.h"

namespace beacon {
namespace {

TEST(RedactionTest, SecretFieldsOfJSONAreRedactedAtAnyDepthAndTheRestKept) {
  const std::string reply =
      R"({"bid":"cAbc","refreshToken":"rt-9","authToken":{"token":"tok","expiresIn":"3600s"},)"
      R"("list":[{"apiKey":"k"}],"count":2})";
  EXPECT_EQ(*platform::parseJson(BCNInstallationsRedactedText(reply)),
            *platform::parseJson(R"({"bid":"cAbc","refreshToken":"<redacted>",)"
                                 R"("authToken":{"token":"<redacted>","expiresIn":"3600s"},)"
                                 R"("list":[{"apiKey":"<redacted>"}],"count":2})"));
}

TEST(RedactionTest, KnownSecretsAreRedactedWhereverTheyStand) {
  EXPECT_EQ(BCNInstallationsRedactedText("key AIzaKEY refused; AIzaKEY again", {"AIzaKEY", ""}),
            "key <redacted> refused; <redacted> again");
  EXPECT_EQ(BCNInstallationsRedactedText(R"({"message":"rt-1 unknown"})", {"rt-1"}),
            R"({"message":"<redacted> unknown"})");
  EXPECT_EQ(BCNInstallationsRedactedText("plain text"), "plain text");
}

TEST(RedactionTest, SecretHeadersAreRedacted) {
  const platform::HttpHeaders headers{{"X-Corv-Api-Key", "AIzaKEY"},
                                      {"X-Ios-Bundle-Identifier", "com.example"},
                                      {"Authorization", "BIS_v2 rt-1"},
                                      {"x-corv-bis-ios-iid-migration-auth", "legacy"}};
  EXPECT_EQ(BCNInstallationsRedactedHeaders(headers),
            "{X-Corv-Api-Key: <redacted>, X-Ios-Bundle-Identifier: com.example, Authorization: <redacted>, "
            "x-corv-bis-ios-iid-migration-auth: <redacted>}");
}

}  // namespace
}  // namespace beacon
