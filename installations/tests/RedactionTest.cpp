// What the installations client may write into a log line or an error's reason.
#include "installations/BCNInstallationsRedaction.h"

#include <gtest/gtest.h>

#include "platform/json/Json.h"

namespace beacon {
namespace {

constexpr const char* kKey = "AVelloranRedactionKey000000000000000000";

TEST(RedactionTest, SecretFieldsOfJSONAreRedactedAtAnyDepthAndTheRestKept) {
  const std::string reply =
      R"({"bid":"cAbc","refreshToken":"rt-9","authToken":{"token":"tok","expiresIn":"3600s"},)"
      R"("list":[{"apiKey":"k"}],"count":2})";
  EXPECT_EQ(*platform::parseJson(BCNInstallationsRedactedBody(reply, "application/json")),
            *platform::parseJson(R"({"bid":"cAbc","refreshToken":"<redacted>",)"
                                 R"("authToken":{"token":"<redacted>","expiresIn":"3600s"},)"
                                 R"("list":[{"apiKey":"<redacted>"}],"count":2})"));
  EXPECT_EQ(BCNInstallationsRedactedBody(R"([{"token":"t"},"plain"])", std::nullopt),
            R"([{"token":"<redacted>"},"plain"])");
}

TEST(RedactionTest, KnownSecretsAreRedactedWhereverTheyStandInJSON) {
  EXPECT_EQ(BCNInstallationsRedactedBody(std::string(R"({"message":"key )") + kKey + " refused; " + kKey +
                                             R"( again","detail":"rt-1 unknown"})",
                                         "application/json", {kKey, "rt-1", ""}),
            R"({"detail":"<redacted> unknown","message":"key <redacted> refused; <redacted> again"})");
}

// A reply as large as the client takes, made of nothing but echoes of the key, is redacted whole.
TEST(RedactionTest, AReplyThatEchoesAKeyThroughoutIsRedactedWhole) {
  const std::size_t echoes = 8u * 1024u * 1024u / std::string_view(kKey).size();
  std::string message;
  for (std::size_t i = 0; i < echoes; ++i) message += kKey;
  const std::string redacted =
      BCNInstallationsRedactedBody(R"({"message":")" + message + "x\"}", "application/json", {kKey});
  std::string expected;
  for (std::size_t i = 0; i < echoes; ++i) expected += kBCNInstallationsRedacted;
  EXPECT_EQ(redacted, R"({"message":")" + expected + "x\"}");
}

// Nothing can tell where a secret stands in a body that does not parse: only its size and media type.
TEST(RedactionTest, ABodyThatIsNotAJSONDocumentShowsOnlyItsLengthAndMediaType) {
  const std::string cutOff = R"({"refreshToken":"rt-cut","authToken":{"token":"tok-cut","expi)";
  EXPECT_EQ(BCNInstallationsRedactedBody(cutOff, "application/json; charset=utf-8"),
            "<" + std::to_string(cutOff.size()) + " bytes, application/json>");
  EXPECT_EQ(BCNInstallationsRedactedBody("refreshToken=rt-plain authToken=tok-plain", " text/plain "),
            "<41 bytes, text/plain>");
  const std::string binary("\x00\xff refreshToken=rt-bin\x01", 22);
  EXPECT_EQ(BCNInstallationsRedactedBody(binary, std::nullopt), "<22 bytes, no content type>");
  EXPECT_EQ(BCNInstallationsRedactedBody(R"("tok-scalar")", "application/json"),
            "<12 bytes, application/json>")
      << "a bare string has no field names to judge it by";
  EXPECT_EQ(BCNInstallationsRedactedBody("", "text/plain"), "<0 bytes, text/plain>");
}

TEST(RedactionTest, AContentTypeThatIsNotAMediaTypeIsNotShown) {
  for (const char* contentType :
       {"token=tok-header", "text/plain/extra", "/plain", "text/", "text/pl ain", ""})
    EXPECT_EQ(BCNInstallationsRedactedBody("x", std::string(contentType)), "<1 bytes, no content type>")
        << contentType;
  EXPECT_EQ(BCNInstallationsRedactedBody("x", "application/vnd.example+json;token=t"),
            "<1 bytes, application/vnd.example+json>");
}

TEST(RedactionTest, SecretHeadersAreRedacted) {
  const platform::HttpHeaders headers{{"X-Corv-Api-Key", kKey},
                                      {"X-Ios-Bundle-Identifier", "com.example"},
                                      {"Authorization", "BIS_v2 rt-1"},
                                      {"x-corv-bis-ios-iid-migration-auth", "legacy"}};
  EXPECT_EQ(BCNInstallationsRedactedHeaders(headers),
            "{X-Corv-Api-Key: <redacted>, X-Ios-Bundle-Identifier: com.example, Authorization: <redacted>, "
            "x-corv-bis-ios-iid-migration-auth: <redacted>}");
}

}  // namespace
}  // namespace beacon
