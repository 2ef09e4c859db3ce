#include "platform/net/CurlHttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "platform/net/HttpError.h"
#include "platform/net/testing/LocalHttpServer.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
using testing::LocalHttpServer;

// Long enough for any loaded machine; the tests never wait this long unless the client hangs.
constexpr auto kGuard = 30s;

struct Outcome {
  std::optional<Result<HttpResponse>> result;
  std::string queueLabel;
  int completions = 0;
};

class CurlHttpClientTest : public ::testing::Test {
 protected:
  // Sends on `client`, waits for the completion and reports how it arrived.
  Outcome fetch(HttpClient& client, HttpRequest request) {
    auto queue = makeSerialQueue("net.test.completion");
    auto outcome = std::make_shared<Outcome>();
    auto done = std::make_shared<std::promise<void>>();
    client.send(std::move(request), queue, [outcome, done](Result<HttpResponse> result) {
      outcome->completions += 1;
      if (outcome->completions > 1) return;
      outcome->result.emplace(std::move(result));
      outcome->queueLabel = currentQueueLabel();
      done->set_value();
    });
    if (done->get_future().wait_for(kGuard) != std::future_status::ready) {
      ADD_FAILURE() << "no completion";
      return {};
    }
    queue->sync([] {});  // a second completion already posted would have run by now
    return *outcome;
  }

  Outcome fetch(const std::string& path, HttpRequest request = {}) {
    request.url = server_.baseURL() + path;
    return fetch(client_, std::move(request));
  }

  static std::int64_t errorCode(const Outcome& outcome) {
    if (!outcome.result || outcome.result->ok()) return 0;
    return outcome.result->error().code;
  }

  LocalHttpServer server_;
  CurlHttpClient client_;
};

TEST_F(CurlHttpClientTest, DeliversStatusAndBodyOnceOnTheGivenQueue) {
  server_.server().Get("/lookup", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("{\"results\":[]}", "application/json");
  });
  server_.start();

  const Outcome outcome = fetch("/lookup?id=1,2");

  ASSERT_TRUE(outcome.result && outcome.result->ok());
  EXPECT_EQ((*outcome.result)->statusCode, 200);
  EXPECT_EQ((*outcome.result)->bodyText(), "{\"results\":[]}");
  EXPECT_EQ(outcome.queueLabel, "net.test.completion");
  EXPECT_EQ(outcome.completions, 1);
  ASSERT_EQ(server_.requests().size(), 1u);
  EXPECT_EQ(server_.requests()[0].method, "GET");
  EXPECT_EQ(server_.requests()[0].path, "/lookup");
  EXPECT_EQ(server_.requests()[0].rawQuery, "id=1,2");
}

TEST_F(CurlHttpClientTest, AnErrorStatusIsAResponseNotAFailure) {
  server_.server().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
    response.set_content("gone", "text/plain");
  });
  server_.start();

  const Outcome outcome = fetch("/missing");

  ASSERT_TRUE(outcome.result && outcome.result->ok());
  EXPECT_EQ((*outcome.result)->statusCode, 404);
  EXPECT_EQ((*outcome.result)->bodyText(), "gone");
}

TEST_F(CurlHttpClientTest, AFieldShapedLikeAStatusLineNeverChangesTheStatus) {
  server_.server().Get("/failing", [](const httplib::Request&, httplib::Response& response) {
    response.status = 500;
    response.set_header("HTTP/1.1", "200 OK");
  });
  server_.start();

  const Outcome outcome = fetch("/failing");

  ASSERT_TRUE(outcome.result && outcome.result->ok());
  EXPECT_EQ((*outcome.result)->statusCode, 500);
}

TEST_F(CurlHttpClientTest, RefusesUrlsOtherThanHttpWithoutSendingAndStillCompletesAsynchronously) {
  server_.start();
  for (const std::string& url :
       std::vector<std::string>{"ftp://127.0.0.1/x", "file:///etc/passwd", "not a url", "",
                                "http://127.0.0.1:" + std::to_string(server_.port()) + "/a b"}) {
    HttpRequest request;
    request.url = url;
    const Outcome outcome = fetch(client_, request);
    EXPECT_EQ(errorCode(outcome), HttpErrorCode::UnsupportedURL) << url;
    // Run inline by send(), it would have run outside any queue.
    EXPECT_EQ(outcome.queueLabel, "net.test.completion");
  }
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(CurlHttpClientTest, FollowsRedirectsUpToTheLimit) {
  // /hop/N redirects to /hop/N-1; /hop/0 answers.
  server_.server().Get(R"(/hop/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
    const int remaining = std::stoi(request.matches[1]);
    if (remaining == 0) {
      response.set_content("arrived", "text/plain");
    } else {
      response.set_redirect("/hop/" + std::to_string(remaining - 1));
    }
  });
  server_.start();

  HttpRequest request;
  request.maximumRedirects = 2;
  const Outcome twoHops = fetch("/hop/2", request);
  ASSERT_TRUE(twoHops.result && twoHops.result->ok());
  EXPECT_EQ((*twoHops.result)->bodyText(), "arrived");
  EXPECT_EQ((*twoHops.result)->url, server_.baseURL() + "/hop/0");

  EXPECT_EQ(errorCode(fetch("/hop/3", request)), HttpErrorCode::TooManyRedirects);
}

TEST_F(CurlHttpClientTest, NeverFollowsARedirectToAnotherKindOfUrl) {
  server_.server().Get(R"(/to/(\w+))", [](const httplib::Request& request, httplib::Response& response) {
    const std::string target = request.matches[1];
    response.set_redirect(target == "file" ? "file:///etc/passwd" : "ftp://127.0.0.1/pub");
  });
  server_.start();

  for (const char* path : {"/to/file", "/to/ftp"}) {
    const Outcome outcome = fetch(path);
    EXPECT_EQ(errorCode(outcome), HttpErrorCode::UnsupportedURL) << path;
  }
}

TEST_F(CurlHttpClientTest, ABodyOverTheCapFailsWhetherItsLengthIsAnnouncedOrNot) {
  // The routes hold their own copies: a worker may still be writing the chunked answer the client
  // gave up on after the test body has ended.
  const std::string thousand(1000, 'x');
  server_.server().Get("/announced", [thousand](const httplib::Request&, httplib::Response& response) {
    response.set_content(thousand, "application/octet-stream");
  });
  server_.server().Get("/chunked", [thousand](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("application/octet-stream",
                                          [thousand](std::size_t, httplib::DataSink& sink) {
                                            for (int i = 0; i < 10; ++i) sink.write(thousand.data(), 100);
                                            sink.done();
                                            return true;
                                          });
  });
  server_.start();

  HttpRequest exact;
  exact.maximumResponseBytes = 1000;
  for (const char* path : {"/announced", "/chunked"}) {
    const Outcome fits = fetch(path, exact);
    ASSERT_TRUE(fits.result && fits.result->ok()) << path;
    EXPECT_EQ((*fits.result)->body.size(), 1000u);
  }

  HttpRequest tight;
  tight.maximumResponseBytes = 999;
  EXPECT_EQ(errorCode(fetch("/announced", tight)), HttpErrorCode::ResponseTooLarge);
  EXPECT_EQ(errorCode(fetch("/chunked", tight)), HttpErrorCode::ResponseTooLarge);
}

// Holds requests until the test lets them go (or the guard passes), so the client has to give up.
// The flag is shared with the handler, which may still be running when the test ends.
class StallingRoute {
 public:
  void install(httplib::Server& server) {
    server.Get("/stall", [released = released_](const httplib::Request&, httplib::Response& response) {
      const auto giveUp = std::chrono::steady_clock::now() + kGuard;
      while (!released->load() && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(5ms);
      response.set_content("late", "text/plain");
    });
  }
  ~StallingRoute() { release(); }
  void release() { released_->store(true); }

 private:
  std::shared_ptr<std::atomic<bool>> released_ = std::make_shared<std::atomic<bool>>(false);
};

// libcurl takes an unasked-for 101 as the final head and reads what follows as its body until the
// connection closes; it is no answer to the request.
TEST_F(CurlHttpClientTest, AnUnaskedSwitchOfProtocolsIsAFailureNotAnAnswer) {
  server_.script("GET", "/switch", {testing::ScriptedReply(101, {}, "payload").cutAfter(6)});
  server_.start();

  const Outcome outcome = fetch("/switch");

  EXPECT_EQ(errorCode(outcome), HttpErrorCode::Transport);
  EXPECT_EQ(outcome.completions, 1);
}

TEST_F(CurlHttpClientTest, GivesUpWhenTheTimeOutPasses) {
  StallingRoute stall;
  stall.install(server_.server());
  server_.start();

  HttpRequest request;
  request.timeout = 200ms;
  const Outcome outcome = fetch("/stall", request);
  stall.release();

  EXPECT_EQ(errorCode(outcome), HttpErrorCode::TimedOut);
}

TEST_F(CurlHttpClientTest, DestroyingTheClientCancelsWhatItStillRuns) {
  StallingRoute stall;
  stall.install(server_.server());
  server_.start();

  auto client = std::make_unique<CurlHttpClient>();
  auto queue = makeSerialQueue("net.test.cancel");
  std::promise<Result<HttpResponse>> completion;
  HttpRequest request;
  request.url = server_.baseURL() + "/stall";
  client->send(request, queue, [&](Result<HttpResponse> result) { completion.set_value(std::move(result)); });
  while (server_.requests().empty()) std::this_thread::sleep_for(1ms);
  client.reset();

  auto future = completion.get_future();
  ASSERT_EQ(future.wait_for(kGuard), std::future_status::ready);
  const Result<HttpResponse> result = future.get();
  stall.release();
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(result.error().is(kHttpErrorDomain, HttpErrorCode::Cancelled))
      << result.error().debugDescription();
}

TEST_F(CurlHttpClientTest, AServerThatIsNotThereIsATransportFailure) {
  int closedPort = 0;
  {
    LocalHttpServer gone;
    gone.start();
    closedPort = gone.port();
  }
  HttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
  const Outcome outcome = fetch(client_, request);
  EXPECT_EQ(errorCode(outcome), HttpErrorCode::Transport);
}

}  // namespace
}  // namespace platform
