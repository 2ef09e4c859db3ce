#include "Velloran/services/LookupReply.h"

#include <gtest/gtest.h>

#include "Velloran/data/PromptCoding.h"

namespace velloran {
namespace {

std::int64_t failureCode(const std::string& body) {
  const auto decoded = decodeLookupResponse(body);
  if (decoded.ok()) return 0;
  EXPECT_EQ(decoded.error().domain, kCodingErrorDomain);
  return decoded.error().code;
}

LookupEntry entryWith(std::optional<std::string> trackViewUrl) {
  LookupEntry entry;
  entry.trackId = 7;
  entry.trackName = "Seven";
  entry.trackViewUrl = std::move(trackViewUrl);
  return entry;
}

TEST(LookupReplyTest, ReadsEveryKnownKeyIgnoresOthersAndTakesNullAsAbsent) {
  const auto decoded = decodeLookupResponse(R"({"resultCount": 2, "results": [
      {"trackId": 1, "trackName": " One ", "subtitle": "Sub", "primaryGenreName": "Tools", "sellerName": "Maker",
       "artworkUrl512": "https://img.example/512.png", "artworkUrl100": "https://img.example/100.png",
       "trackViewUrl": "https://apps.example/app/id1", "price": 0.99},
      {"trackId": 2.0, "trackName": "Two", "subtitle": null, "trackViewUrl": null}]})");

  ASSERT_TRUE(decoded.ok()) << decoded.error().debugDescription();
  ASSERT_EQ(decoded->results.size(), 2u);
  const LookupEntry& first = decoded->results[0];
  EXPECT_EQ(first.trackId, 1);
  EXPECT_EQ(first.trackName, " One ");
  EXPECT_EQ(first.subtitle, "Sub");
  EXPECT_EQ(first.primaryGenreName, "Tools");
  EXPECT_EQ(first.sellerName, "Maker");
  EXPECT_EQ(first.artworkUrl512, "https://img.example/512.png");
  EXPECT_EQ(first.artworkUrl100, "https://img.example/100.png");
  EXPECT_EQ(first.trackViewUrl, "https://apps.example/app/id1");
  const LookupEntry& second = decoded->results[1];
  EXPECT_EQ(second.trackId, 2);
  EXPECT_EQ(second.subtitle, std::nullopt);
  EXPECT_EQ(second.trackViewUrl, std::nullopt);
}

TEST(LookupReplyTest, AnyEntryOfTheWrongShapeFailsTheWholeReply) {
  const std::string good = R"({"trackId": 1, "trackName": "One"})";
  EXPECT_EQ(failureCode(R"({"results": [)" + good + "]}"), 0);

  EXPECT_EQ(failureCode("not json"), CodingErrorCode::dataCorrupted);
  EXPECT_EQ(failureCode(R"([])"), CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({})"), CodingErrorCode::keyNotFound);
  EXPECT_EQ(failureCode(R"({"results": null})"), CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": {}})"), CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": [)" + good + R"(, 5]})"), CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": [)" + good + R"(, {"trackName": "Two"}]})"),
            CodingErrorCode::keyNotFound);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": 1}]})"), CodingErrorCode::keyNotFound);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": "1", "trackName": "One"}]})"),
            CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": 1, "trackName": null}]})"),
            CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": 1, "trackName": 1}]})"), CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": 1, "trackName": "One", "subtitle": 5}]})"),
            CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": 1, "trackName": "One", "trackViewUrl": ["x"]}]})"),
            CodingErrorCode::typeMismatch);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": 1.5, "trackName": "One"}]})"),
            CodingErrorCode::dataCorrupted);
  EXPECT_EQ(failureCode(R"({"results": [{"trackId": 1e20, "trackName": "One"}]})"),
            CodingErrorCode::dataCorrupted);
}

TEST(LookupReplyTest, FailuresNameThePlaceOfTheProblem) {
  const auto decoded = decodeLookupResponse(R"({"results": [{"trackId": 1, "trackName": "A"},
                                                            {"trackId": 2, "trackName": false}]})");
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.error().description, "Expected a string at results[1].trackName but found a bool.");
}

TEST(LookupReplyTest, AnEntryWithoutAValidStorePageIsNotShown) {
  EXPECT_EQ(makeAppStoreApp(entryWith(std::nullopt)), std::nullopt);
  EXPECT_EQ(makeAppStoreApp(entryWith("not a url")), std::nullopt);
  EXPECT_EQ(makeAppStoreApp(entryWith("https://apps.example/app/id 7")), std::nullopt);
  ASSERT_TRUE(makeAppStoreApp(entryWith("https://apps.example/app/id7")).has_value());
}

TEST(LookupReplyTest, SubtitleFallsBackToTheSellerThenToTheStoreHint) {
  LookupEntry entry = entryWith("https://apps.example/app/id7");
  entry.subtitle = " \n ";
  entry.sellerName = "  Maker GmbH ";
  EXPECT_EQ(makeAppStoreApp(entry)->subtitle, "Maker GmbH");
  entry.sellerName = " ";
  EXPECT_EQ(makeAppStoreApp(entry)->subtitle, "Im App Store ansehen");
  entry.subtitle = " Write faster ";
  EXPECT_EQ(makeAppStoreApp(entry)->subtitle, "Write faster");
}

TEST(LookupReplyTest, GenreIsTakenAsSentAndDefaultsOnlyWhenAbsent) {
  LookupEntry entry = entryWith("https://apps.example/app/id7");
  EXPECT_EQ(makeAppStoreApp(entry)->genre, "App Store");
  entry.primaryGenreName = "";
  EXPECT_EQ(makeAppStoreApp(entry)->genre, "");
  entry.primaryGenreName = " Productivity ";
  EXPECT_EQ(makeAppStoreApp(entry)->genre, " Productivity ");
}

TEST(LookupReplyTest, ArtworkPrefersTheLargeImageAndFallsBackWhenItsUrlIsInvalid) {
  LookupEntry entry = entryWith("https://apps.example/app/id7");
  entry.artworkUrl512 = "https://img.example/512.png";
  entry.artworkUrl100 = "https://img.example/100.png";
  EXPECT_EQ(makeAppStoreApp(entry)->artworkURL, platform::Url::parse("https://img.example/512.png"));
  entry.artworkUrl512 = "https://img.example/5 12.png";
  EXPECT_EQ(makeAppStoreApp(entry)->artworkURL, platform::Url::parse("https://img.example/100.png"));
  entry.artworkUrl100 = "";
  EXPECT_EQ(makeAppStoreApp(entry)->artworkURL, std::nullopt);
}

TEST(LookupReplyTest, TheRecordKeepsIdNameAndStorePageAsSent) {
  LookupEntry entry = entryWith("https://apps.example/app/id7?mt=8");
  entry.trackName = " Seven ";
  const auto app = makeAppStoreApp(entry);
  ASSERT_TRUE(app.has_value());
  EXPECT_EQ(app->id, 7);
  EXPECT_EQ(app->name, " Seven ");
  EXPECT_EQ(app->appStoreURL->string(), "https://apps.example/app/id7?mt=8");
}

}  // namespace
}  // namespace velloran
