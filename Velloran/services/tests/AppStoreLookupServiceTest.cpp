#include "Velloran/services/AppStoreLookupService.h"

#include <gtest/gtest.h>

#include <chrono>

#include "Velloran/data/PromptCoding.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "platform/net/CurlHttpClient.h"
#include "platform/net/HttpError.h"
#include "platform/net/testing/LocalHttpServer.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;
using Apps = std::vector<AppStoreApp>;

std::string entry(std::int64_t id, const std::string& name) {
  return R"({"trackId": )" + std::to_string(id) + R"(, "trackName": ")" + name +
         R"(", "trackViewUrl": "https://apps.example/app/id)" + std::to_string(id) + R"("})";
}

std::vector<std::int64_t> idsOf(const Apps& apps) {
  std::vector<std::int64_t> ids;
  for (const AppStoreApp& app : apps) ids.push_back(app.id);
  return ids;
}

class AppStoreLookupServiceTest : public ::testing::Test {
 protected:
  // Serves `body` with `status` on /lookup.
  void answer(std::string body, int status = 200) {
    server_.server().Get("/lookup", [body, status](const httplib::Request&, httplib::Response& response) {
      response.status = status;
      response.set_content(body, "application/json");
    });
    server_.start();
  }

  platform::Result<Apps> fetch(std::vector<std::string> ids, std::string baseURL = {}) {
    AppStoreLookupService service(client_, baseURL.empty() ? server_.baseURL() : baseURL);
    std::optional<platform::Result<Apps>> outcome;
    bool onMainThread = false;
    service.fetchApps(std::move(ids), [&](platform::Result<Apps> result) {
      onMainThread = platform::isMainThread();
      outcome.emplace(std::move(result));
    });
    EXPECT_FALSE(outcome.has_value()) << "completed inline";
    if (!platform::runUntil([&] { return outcome.has_value(); }, 30s)) {
      return platform::Error("test", 0, "no completion");
    }
    EXPECT_TRUE(onMainThread);
    return std::move(*outcome);
  }

  static std::optional<LookupError> lookupError(const platform::Result<Apps>& result) {
    return result.ok() ? std::nullopt : LookupError::from(result.error());
  }

  platform::testing::LocalHttpServer server_;
  std::shared_ptr<platform::HttpClient> client_ = std::make_shared<platform::CurlHttpClient>();
};

// --- Request and order ---------------------------------------------------------------------------

TEST_F(AppStoreLookupServiceTest, SendsTrimmedIDsJoinedByCommasAndAnswersInRequestOrder) {
  answer(R"({"results": [)" + entry(222, "B") + "," + entry(333, "C") + "," + entry(111, "A") + "]}");

  const auto result = fetch({" 111 ", "222\n", "", "333"});

  ASSERT_TRUE(result.ok()) << result.error().debugDescription();
  EXPECT_EQ(idsOf(*result), (std::vector<std::int64_t>{111, 222, 333}));
  ASSERT_EQ(server_.requests().size(), 1u);
  EXPECT_EQ(server_.requests()[0].path, "/lookup");
  EXPECT_EQ(server_.requests()[0].rawQuery, "id=111,222,333");
}

TEST_F(AppStoreLookupServiceTest, RepeatedIDsRepeatTheirAppAndIDsThatAreNoNumberOrMissingGiveNothing) {
  answer(R"({"results": [)" + entry(111, "A") + "," + entry(-5, "Minus") + "]}");

  const auto result = fetch({"111", "abc", "+111", "999", "-5", "1e3", "+-5"});

  ASSERT_TRUE(result.ok());
  EXPECT_EQ(idsOf(*result), (std::vector<std::int64_t>{111, 111, -5}));
  EXPECT_EQ(server_.requests()[0].rawQuery, "id=111,abc,%2B111,999,-5,1e3,%2B-5");
}

TEST_F(AppStoreLookupServiceTest, ALaterEntryWithTheSameTrackIDWins) {
  answer(R"({"results": [)" + entry(111, "First") + "," + entry(111, "Second") + "]}");
  const auto result = fetch({"111"});
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(result->size(), 1u);
  EXPECT_EQ((*result)[0].name, "Second");
}

TEST_F(AppStoreLookupServiceTest, IDsCannotAddQueryParameters) {
  answer(R"({"results": [)" + entry(1, "A") + "]}");
  (void)fetch({"1&country=xx", "2=3#frag"});
  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rawQuery, "id=1%26country%3Dxx,2%3D3%23frag");
  ASSERT_EQ(requests[0].parameters.size(), 1u);
  EXPECT_EQ(requests[0].parameters.begin()->second, "1&country=xx,2=3#frag");
}

TEST_F(AppStoreLookupServiceTest, NoUsableIDsMeansAnEmptyListAndNoRequest) {
  answer(R"({"results": []})");
  const auto result = fetch({"", "  ", "\n"});
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(result->empty());
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(AppStoreLookupServiceTest, ABaseURLWithATrailingSlashStillReachesTheLookupPath) {
  answer(R"({"results": [)" + entry(1, "A") + "]}");
  ASSERT_TRUE(fetch({"1"}, server_.baseURL() + "/").ok());
  EXPECT_EQ(server_.requests()[0].path, "/lookup");
}

// --- Failures ------------------------------------------------------------------------------------

TEST_F(AppStoreLookupServiceTest, AStatusOutsideTwoHundredsFailsWithTheStatusText) {
  answer("{}", 404);
  const auto result = fetch({"1"});
  EXPECT_EQ(lookupError(result), LookupError::httpStatus(404));
  EXPECT_EQ(result.error().description, "App Store antwortete mit Status 404.");
}

TEST_F(AppStoreLookupServiceTest, ABaseURLThatMakesNoWebURLFailsAsInvalidWithoutARequest) {
  answer(R"({"results": []})");
  for (const std::string base : {"not a url", "ftp://127.0.0.1", "http://exa mple.com", "file:///tmp"}) {
    const auto result = fetch({"1"}, base);
    EXPECT_EQ(lookupError(result), LookupError::invalidURL()) << base;
    EXPECT_EQ(result.error().description, "Ungültige App-Store-URL.");
  }
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(AppStoreLookupServiceTest, AReplyWithoutResultsFailsAsEmpty) {
  answer(R"({"resultCount": 0, "results": []})");
  const auto result = fetch({"1"});
  EXPECT_EQ(lookupError(result), LookupError::emptyResponse());
  EXPECT_EQ(result.error().description, "Keine Ergebnisse für die angegebenen Apps.");
}

TEST_F(AppStoreLookupServiceTest, ResultsWithoutStorePagesAreAnEmptySuccess) {
  answer(R"({"results": [{"trackId": 1, "trackName": "A"}, {"trackId": 2, "trackName": "B"}]})");
  const auto result = fetch({"1", "2"});
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(result->empty());
}

TEST_F(AppStoreLookupServiceTest, AnUndecodableReplyFailsWithTheDecoderError) {
  answer(R"({"results": [)" + entry(1, "A") + R"(, {"trackId": 2}]})");
  const auto result = fetch({"1", "2"});
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().is(kCodingErrorDomain, CodingErrorCode::keyNotFound));
  EXPECT_EQ(lookupError(result), std::nullopt);
}

// A lookup reply for a handful of apps is a few kilobytes; a larger one would be decoded on the
// main thread into many times its size.
TEST_F(AppStoreLookupServiceTest, AReplyBeyondTheLookupsLimitFailsBeforeItIsDecoded) {
  const std::string records = R"({"results": [)" + entry(1, "A") + R"(], "padding": ")";
  answer(records + std::string(AppStoreLookupService::kMaximumReplyBytes, ' ') + R"("})");
  const auto result = fetch({"1"});
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().is(platform::kHttpErrorDomain, platform::HttpErrorCode::ResponseTooLarge))
      << result.error().debugDescription();
}

TEST_F(AppStoreLookupServiceTest, ATransportFailureIsPassedOnUnchanged) {
  int closedPort = 0;
  {
    platform::testing::LocalHttpServer gone;
    gone.start();
    closedPort = gone.port();
  }
  const auto result = fetch({"1"}, "http://127.0.0.1:" + std::to_string(closedPort));
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().is(platform::kHttpErrorDomain, platform::HttpErrorCode::Transport));
}

}  // namespace
}  // namespace velloran
