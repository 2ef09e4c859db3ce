// The header value: URL-safe Base64 of the gzipped JSON, and its fallbacks.

#include "sdk-core/heartbeat/HeartbeatsPayload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/value/Base64.h"
#include "sdk-core/heartbeat/tests/HeartbeatTestSupport.h"
#include "sdk-utilities/gzip/CVUGzip.h"

namespace beacon {
namespace {

using nlohmann::json;
using testing::utc;

platform::Bytes unBase64(const std::string& header) {
  auto data = platform::base64Decode(header, platform::Base64Alphabet::UrlSafe);
  EXPECT_TRUE(data.has_value()) << header;
  return data.value_or(platform::Bytes{});
}

json parse(const platform::Bytes& data) {
  return json::parse(data.begin(), data.end());
}

// What the receiver does: Base64, gunzip, JSON.
json decodeHeader(const std::string& header) {
  auto inflated = CVUGzip::cvu_dataByInflatingGzippedData(unBase64(header));
  EXPECT_TRUE(inflated.has_value());
  return parse(inflated.value_or(platform::Bytes{}));
}

bool onlyUrlSafeCharacters(const std::string& text) {
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
  }
  return true;
}

TEST(HeartbeatsPayloadTest, TheHeaderCarriesAgentsWithTheirUtcDays) {
  const HeartbeatsPayload payload{
      {{"a", {utc(2024, 5, 1), utc(2024, 5, 3, 23)}}, {"b/2 c/3", {utc(1999, 12, 31)}}}, 2};
  EXPECT_EQ(decodeHeader(payload.headerValue()), json::parse(R"({
    "heartbeats": [{"agent": "a", "dates": ["2024-05-01", "2024-05-03"]},
                   {"agent": "b/2 c/3", "dates": ["1999-12-31"]}],
    "version": 2})"));
}

TEST(HeartbeatsPayloadTest, TheEmptyPayloadStillHasAHeaderValue) {
  const auto& empty = HeartbeatsPayload::emptyPayload();
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(empty.version, 2);
  EXPECT_EQ(decodeHeader(empty.headerValue()), json::parse(R"({"heartbeats": [], "version": 2})"));
}

TEST(HeartbeatsPayloadTest, TheHeaderUsesOnlyUrlSafeCharactersAndNoFill) {
  // Enough varied payloads that the standard alphabet needs "+", "/" and "=" in some of them.
  bool standardNeedsPlus = false, standardNeedsSlash = false, standardNeedsFill = false;
  for (int size = 1; size <= 40; ++size) {
    HeartbeatsPayload payload;
    for (int n = 0; n < size; ++n) {
      payload.userAgentPayloads.push_back(
          {"agent-" + std::to_string(n * 7919), {utc(2024, 1 + n % 12, 1 + n % 28)}});
    }
    const std::string header = payload.headerValue();
    EXPECT_TRUE(onlyUrlSafeCharacters(header)) << header;
    EXPECT_EQ(decodeHeader(header)["heartbeats"].size(), static_cast<std::size_t>(size));
    const std::string standard = platform::base64Encode(unBase64(header));
    standardNeedsPlus |= standard.find('+') != std::string::npos;
    standardNeedsSlash |= standard.find('/') != std::string::npos;
    standardNeedsFill |= standard.find('=') != std::string::npos;
  }
  EXPECT_TRUE(standardNeedsPlus && standardNeedsSlash && standardNeedsFill);
}

TEST(HeartbeatsPayloadTest, WithoutCompressionTheHeaderIsThePlainJson) {
  const HeartbeatsPayload payload{{{"a", {utc(2024, 5, 1)}}}, 2};
  const auto failing = [](const platform::Bytes&) { return std::optional<platform::Bytes>{}; };
  const std::string header = detail::headerValue(payload, failing);
  EXPECT_TRUE(onlyUrlSafeCharacters(header));
  EXPECT_EQ(parse(unBase64(header)), json::parse(R"({"heartbeats": [{"agent": "a", "dates": ["2024-05-01"]}],
                                                     "version": 2})"));
}

TEST(HeartbeatsPayloadTest, AnUnwritablePayloadFallsBackToTheEmptyPayload) {
  const std::string emptyHeader = HeartbeatsPayload::emptyPayload().headerValue();
  const HeartbeatsPayload notUtf8{{{"bad \xc3", {utc(2024, 5, 1)}}}, 2};
  EXPECT_EQ(notUtf8.headerValue(), emptyHeader);
  const HeartbeatsPayload firstYear{{{"a", {utc(1, 1, 1)}}}, 2};
  EXPECT_EQ(decodeHeader(firstYear.headerValue())["heartbeats"][0]["dates"][0], "0001-01-01");
  const HeartbeatsPayload beforeYear1{{{"a", {utc(0, 12, 31, 23)}}}, 2};
  EXPECT_EQ(beforeYear1.headerValue(), emptyHeader);
  const HeartbeatsPayload beyondYear9999{{{"a", {platform::Date{1e15}}}}, 2};
  EXPECT_EQ(beyondYear9999.headerValue(), emptyHeader);
}

}  // namespace
}  // namespace beacon
