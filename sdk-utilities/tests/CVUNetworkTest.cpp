// The HTTP client and its URL sessions against the local test server.

#include "sdk-utilities/network/CVUNetwork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <future>
#include <set>

#include "LoggerCapture.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/HttpError.h"
#include "platform/net/testing/GzipBomb.h"
#include "platform/net/testing/LocalHttpServer.h"
#include "platform/testing/TestEnvironment.h"
#include "sdk-utilities/gzip/CVUGzip.h"
#include "sdk-utilities/testing/FakeReachability.h"

using namespace std::chrono_literals;

namespace beacon::testing {
namespace {

using platform::testing::LocalHttpServer;
using platform::testing::ScriptedReply;

struct Outcome {
  std::atomic<int> calls{0};
  std::optional<platform::HttpResponse> response;
  std::optional<platform::Bytes> data;
  std::optional<platform::Error> error;
  bool onQueue = false;
  std::string text() const { return data ? std::string(data->begin(), data->end()) : std::string(); }
};

// Inflates `compressed` with the system's gzip tool.
std::string inflateWithSystemGzip(const std::string& compressed, const std::filesystem::path& folder) {
  const auto file = folder / "body.gz";
  std::ofstream(file, std::ios::binary) << compressed;
  const std::string command = "gzip -dc '" + file.string() + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string inflated;
  char buffer[256];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) inflated.append(buffer, n);
  return inflated;
}

class CVUNetworkTest : public LoggerTest {
 protected:
  CVUNetworkTest() {
    user.writeInfo(platform::Dictionary{{"CFBundleIdentifier", platform::Value("com.test.network")}});
    // A test that rewrote the bundle's info must not leave its reading to the next one.
    platform::Bundle::resetMainForTesting();
    network = CVUNetwork::createWithReachabilityHost("127.0.0.1", &FakeReachability::api());
  }

  CVUNetwork::Completion record(Outcome& outcome, const platform::QueueRef& queue) {
    return [&outcome, queue](const auto& response, const auto& data, const auto& error) {
      ++outcome.calls;
      outcome.response = response;
      outcome.data = data;
      outcome.error = error;
      outcome.onQueue = queue->isCurrent();
    };
  }
  // Pumps the main queue until the completion ran, then a little longer to catch a second call.
  void waitFor(const Outcome& outcome) {
    ASSERT_TRUE(platform::runUntil([&] { return outcome.calls > 0; }, 30s));
    platform::runMainQueueFor(50ms);
  }
  std::string url(const std::string& path) const { return server.baseURL() + path; }

  platform::testing::TemporaryUser user;
  LocalHttpServer server;
  platform::QueueRef main = platform::mainQueue();
  std::shared_ptr<CVUNetwork> network;
};

TEST_F(CVUNetworkTest, PostSendsTheGzipFormOfThePayloadWithContentHeadersThatWinOverTheCaller) {
  server.script("POST", "/upload", {ScriptedReply(204)});
  server.start();
  Outcome outcome;
  auto queue = platform::makeSerialQueue("network.test.caller");
  const std::string payload = "batch of events, batch of events, batch of events";
  auto sessionID =
      network->postURL(url("/upload"), platform::HttpHeaders{{"content-type", "text/plain"}, {"X-Key", "k"}},
                       platform::Bytes(payload.begin(), payload.end()), queue, false, record(outcome, queue));
  ASSERT_TRUE(sessionID);
  EXPECT_TRUE(sessionID->starts_with("com.cvu.network.background-upload-"));
  EXPECT_TRUE(network->hasUploadInProgress());
  waitFor(outcome);
  queue->sync([] {});
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_TRUE(outcome.onQueue);
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode, 204);
  EXPECT_FALSE(outcome.error);
  EXPECT_FALSE(network->hasUploadInProgress());

  const auto sent = server.requests("/upload").at(0);
  EXPECT_EQ(sent.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(sent.header("Content-Encoding"), "gzip");
  EXPECT_EQ(sent.header("X-Key"), "k");
  ASSERT_TRUE(sent.header("Content-Length"));
  const std::size_t length = std::stoul(*sent.header("Content-Length"));
  // The server decodes gzip bodies it receives; the bytes on the wire are the client's gzip form.
  const auto compressed = CVUGzip::cvu_dataByGzippingData(platform::Bytes(payload.begin(), payload.end()));
  EXPECT_EQ(length, compressed->size());
  EXPECT_EQ(sent.body, payload);
  EXPECT_EQ(inflateWithSystemGzip(std::string(compressed->begin(), compressed->end()), user.root()), payload);
}

TEST_F(CVUNetworkTest, AnEmptyPayloadIsAnEmptyBodyThatStillSaysGzip) {
  server.script("POST", "/upload", {ScriptedReply(200)});
  server.start();
  Outcome outcome;
  ASSERT_TRUE(
      network->postURL(url("/upload"), std::nullopt, std::nullopt, nullptr, false, record(outcome, main)));
  waitFor(outcome);
  EXPECT_TRUE(outcome.onQueue);
  const auto sent = server.requests("/upload").at(0);
  EXPECT_EQ(sent.header("Content-Length"), "0");
  EXPECT_EQ(sent.header("Content-Encoding"), "gzip");
  EXPECT_TRUE(sent.body.empty());
}

TEST_F(CVUNetworkTest, GetSendsOnlyTheCallerHeadersAndDeliversTheDocument) {
  server.script("GET", "/config", {ScriptedReply(200, {{"ETag", "e1"}}, "document")});
  server.start();
  Outcome outcome;
  ASSERT_TRUE(network->getURL(url("/config"), platform::HttpHeaders{{"Content-Type", "text/plain"}}, nullptr,
                              false, record(outcome, main)));
  waitFor(outcome);
  EXPECT_EQ(outcome.text(), "document");
  EXPECT_EQ(outcome.response->headers.get("etag"), "e1");
  const auto sent = server.requests("/config").at(0);
  EXPECT_EQ(sent.header("Content-Type"), "text/plain");
  EXPECT_FALSE(sent.header("Content-Encoding"));
}

TEST_F(CVUNetworkTest, ATruncatedDocumentIsAnErrorButATruncatedUploadAnswerStillCounts) {
  server.script("GET", "/config", {ScriptedReply(200, {}, std::string(4000, 'c')).cutAfter(10)});
  server.script("POST", "/upload", {ScriptedReply(200, {}, std::string(4000, 'u')).cutAfter(10)});
  server.start();
  Outcome document, upload;
  network->getURL(url("/config"), std::nullopt, nullptr, false, record(document, main));
  network->postURL(url("/upload"), std::nullopt, platform::Bytes{1}, nullptr, false, record(upload, main));
  waitFor(document);
  waitFor(upload);
  EXPECT_FALSE(document.response);
  EXPECT_FALSE(document.data);
  ASSERT_TRUE(document.error);
  ASSERT_TRUE(upload.response);
  EXPECT_EQ(upload.response->statusCode, 200);
  EXPECT_FALSE(upload.error);
}

TEST_F(CVUNetworkTest, AnAnswerPastItsBoundIsAnErrorWithoutResponseOnEveryRoute) {
  const std::vector<std::pair<std::string, std::string>> gzip{{"Content-Encoding", "gzip"}};
  server.script("GET", "/config", {ScriptedReply(200, gzip, platform::testing::gzipBomb(4096))});
  server.script("POST", "/upload",
                {ScriptedReply(200).withGeneratedBody(kCVUNetworkMaximumResponseBytes + 1)});
  server.script("POST", "/fits", {ScriptedReply(200).withGeneratedBody(kCVUNetworkMaximumResponseBytes)});
  server.start();
  Outcome document, upload, fits;
  network->getURL(url("/config"), std::nullopt, nullptr, false, record(document, main), 4095);
  network->postURL(url("/upload"), std::nullopt, platform::Bytes{1}, nullptr, false, record(upload, main));
  network->postURL(url("/fits"), std::nullopt, platform::Bytes{1}, nullptr, false, record(fits, main));
  for (Outcome* outcome : {&document, &upload}) {
    waitFor(*outcome);
    EXPECT_FALSE(outcome->response);
    EXPECT_FALSE(outcome->data);
    ASSERT_TRUE(outcome->error);
    EXPECT_TRUE(outcome->error->is(platform::kHttpErrorDomain, platform::HttpErrorCode::ResponseTooLarge));
  }
  waitFor(fits);
  EXPECT_FALSE(fits.error);
  EXPECT_EQ(fits.data->size(), kCVUNetworkMaximumResponseBytes);
}

TEST_F(CVUNetworkTest, ANewClientSweepsAwayDownloadsADeadProcessLeftBehind) {
  const auto folder =
      user.dataHome() / "com.test.network" / "CVU" / "Network" / "CVUNetworkTemporaryDirectory";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "download-a1b2c3") << "half a document";
  std::filesystem::last_write_time(folder / "download-a1b2c3",
                                   std::filesystem::file_time_type::clock::now() - 1min);
  ASSERT_TRUE(CVUNetwork::createWithReachabilityHost("127.0.0.1", &FakeReachability::api()));
  EXPECT_FALSE(std::filesystem::exists(folder / "download-a1b2c3"));

  server.script("GET", "/doc", {ScriptedReply(200, {}, "document")});
  server.start();
  Outcome outcome;
  network->getURL(url("/doc"), std::nullopt, nullptr, false, record(outcome, main));
  waitFor(outcome);
  EXPECT_EQ(outcome.text(), "document");
  EXPECT_TRUE(std::filesystem::is_empty(folder)) << "downloads are kept in the SDK's folder while they run";
}

// Where the SDK's folder cannot be used, a download keeps its body in the net layer's folder in the
// system's temporary folder; a new client sweeps what a dead process left there, also where the SDK's
// folder cannot even be named, and leaves the running download's file alone.
TEST_F(CVUNetworkTest, ANewClientSweepsTheTemporaryFolderDownloadsFellBackTo) {
  const auto temporary = user.root() / "tmp";
  std::filesystem::create_directories(temporary);
  user.environment().set("TMPDIR", temporary.string());
  std::filesystem::create_directories(user.dataHome() / "com.test.network");
  std::ofstream(user.dataHome() / "com.test.network" / "CVU") << "in the way";
  std::promise<void> release;
  server.server().Get("/held", [released = release.get_future().share()](const httplib::Request&,
                                                                         httplib::Response& response) {
    released.wait();
    response.set_content("held body", "text/plain");
  });
  server.start();
  Outcome outcome;
  network->getURL(url("/held"), std::nullopt, nullptr, false, record(outcome, main));
  std::filesystem::path running;
  auto findRunning = [&] {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(temporary))
      if (entry.path().filename().string().starts_with("download-")) running = entry.path();
    return !running.empty();
  };
  const bool started = platform::runUntil(findRunning, 30s);
  if (!started) release.set_value();
  ASSERT_TRUE(started);
  const auto dead = running.parent_path() / "download-dead01";
  std::ofstream(dead) << "half a document";
  std::filesystem::last_write_time(dead, std::filesystem::file_time_type::clock::now() - 1min);

  user.writeInfo(platform::Dictionary{});
  platform::Bundle::resetMainForTesting();
  EXPECT_TRUE(CVUNetwork::createWithReachabilityHost("127.0.0.1", &FakeReachability::api()));
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(running));

  release.set_value();
  waitFor(outcome);
  EXPECT_EQ(outcome.text(), "held body");
  EXPECT_FALSE(std::filesystem::exists(running));
}

TEST_F(CVUNetworkTest, RedirectsSeeOtherAndPermanentAreFollowedTheOthersRefused) {
  for (int status : {300, 301, 302, 303, 307, 308}) {
    server.script("GET", "/r" + std::to_string(status),
                  {ScriptedReply(status, {{"Location", "/target"}}, "moved")});
  }
  server.script("GET", "/target", {ScriptedReply(200, {}, "arrived")});
  server.start();
  for (int status : {300, 301, 302, 303, 307, 308}) {
    Outcome outcome;
    network->getURL(url("/r" + std::to_string(status)), std::nullopt, nullptr, false, record(outcome, main));
    waitFor(outcome);
    ASSERT_TRUE(outcome.response) << status;
    const bool followed = status == 303 || status == 308;
    EXPECT_EQ(outcome.response->statusCode, followed ? 200 : status);
    EXPECT_EQ(outcome.text(), followed ? "arrived" : "moved");
  }
}

TEST_F(CVUNetworkTest, TimeoutZeroMeansSixtySecondsAndShortTimeoutsEndSlowRequests) {
  network->setTimeoutInterval(0);
  EXPECT_EQ(network->requestFor("http://h/", std::nullopt).timeout, 60s);
  server.script("GET", "/slow", {ScriptedReply(200, {}, "late").delayedBy(1500ms)});
  server.start();
  network->setTimeoutInterval(0.3);
  Outcome outcome;
  network->getURL(url("/slow"), std::nullopt, nullptr, false, record(outcome, main));
  waitFor(outcome);
  ASSERT_TRUE(outcome.error);
  EXPECT_TRUE(outcome.error->is(platform::kHttpErrorDomain, platform::HttpErrorCode::TimedOut));
}

TEST_F(CVUNetworkTest, AnEmptyUrlFailsWithCodeOneOnTheCallersQueue) {
  Outcome outcome;
  EXPECT_FALSE(network->postURL("", std::nullopt, std::nullopt, nullptr, false, record(outcome, main)));
  EXPECT_EQ(outcome.calls, 0);
  waitFor(outcome);
  EXPECT_EQ(outcome.calls, 1);
  ASSERT_TRUE(outcome.error);
  EXPECT_TRUE(outcome.error->is(kCVUNetworkErrorDomain, kCVUNetworkErrorCodeInvalidURL));
  EXPECT_EQ(outcome.error->userInfo.at("Context"), platform::Value("Failed to create network request"));
}

TEST_F(CVUNetworkTest, TlsServersAreTrustedOnlyWithTheirCertificate) {
  LocalHttpServer secure(LocalHttpServer::Scheme::Https);
  secure.script("GET", "/doc", {ScriptedReply(200, {}, "secret")});
  secure.start();
  Outcome refused, trusted;
  network->getURL(secure.baseURL() + "/doc", std::nullopt, nullptr, false, record(refused, main));
  waitFor(refused);
  ASSERT_TRUE(refused.error);
  EXPECT_TRUE(refused.error->is(platform::kHttpErrorDomain, platform::HttpErrorCode::ServerUntrusted));
  network->setExtraTrustedCertificates(secure.certificateFile());
  network->getURL(secure.baseURL() + "/doc", std::nullopt, nullptr, false, record(trusted, main));
  waitFor(trusted);
  EXPECT_EQ(trusted.text(), "secret");
}

TEST_F(CVUNetworkTest, BackgroundUploadsGoThroughATemporaryFileThatIsRemovedAfterwards) {
  server.script("POST", "/upload", {ScriptedReply(200)});
  server.start();
  Outcome outcome;
  auto sessionID = network->postURL(url("/upload"), std::nullopt, platform::Bytes{'a', 'b'}, nullptr, true,
                                    record(outcome, main));
  ASSERT_TRUE(sessionID);
  waitFor(outcome);
  EXPECT_EQ(server.requests("/upload").at(0).body, "ab");
  const auto folder =
      user.dataHome() / "com.test.network" / "CVU" / "Network" / "CVUNetworkTemporaryDirectory";
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_FALSE(std::filesystem::exists(folder / ("CVUUpload_temp_" + *sessionID)));
}

TEST_F(CVUNetworkTest, ReachabilityStatusesTwoAndThreeCountAsConnected) {
  struct Listener : CVUNetworkReachabilityDelegate {
    void reachabilityDidChange() override { ++changes; }
    int changes = 0;
  };
  auto listener = std::make_shared<Listener>();
  network->setReachabilityDelegate(listener);
  auto checker = CVUReachabilityChecker::create({}, "h");
  EXPECT_FALSE(network->isNetworkConnected());
  for (auto [status, connected] :
       {std::pair{CVUReachabilityStatus::Connected, true},
        std::pair{CVUReachabilityStatus::Disconnected, false},
        std::pair{CVUReachabilityStatus::Cellular, true}, std::pair{CVUReachabilityStatus::Unknown, false}}) {
    network->reachabilityStatusChanged(*checker, status);
    EXPECT_EQ(network->isNetworkConnected(), connected);
  }
  EXPECT_EQ(listener->changes, 4);
  FakeReachability::instance().push(platform::kReachabilityFlagReachable);
  EXPECT_TRUE(network->isNetworkConnected());
}

TEST_F(CVUNetworkTest, WithoutLoggerDelegateOnlyErrorsWarningsAndInfoPrintUnlessDebugging) {
  EXPECT_EQ(CVUNetwork::formattedLine(4, std::string("Failed. Code, error"), {"2", std::nullopt}),
            "<Corvane/Utilities/Network/WARNING> Failed. Code, error: 2, (nil)");
  EXPECT_EQ(CVUNetwork::formattedLine(5, std::nullopt, {}),
            "<Corvane/Utilities/Network/(null)> (Message was nil)");
  EXPECT_EQ(CVUNetwork::formattedLine(7, std::string(), {}),
            "<Corvane/Utilities/Network/DEBUG> (Message was empty)");

  CVULoggerSetLevel(kCVULoggerLevelDebug);
  network->CVUNetwork_logWithLevel(7, 900000, std::string("Uploading data. Host"), CVUNetworkContext("u1"));
  network->CVUNetwork_logWithLevel(6, 901019, std::string("Discarding session: x"));
  network->setIsDebugModeEnabled(true);
  network->CVUNetwork_logWithLevel(7, 900001, std::string("Downloading data. Host"), CVUNetworkContext("u2"));
  std::vector<std::string> texts;
  for (const auto& line : writtenLines()) texts.push_back(line.text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find("[CVUNetwork][I-NET901019] <Corvane/Utilities/Network/INFO> Discarding session: x"),
            std::string::npos);
  EXPECT_NE(texts[1].find("[I-NET900001] <Corvane/Utilities/Network/DEBUG> Downloading data. Host: u2"),
            std::string::npos);
}

TEST_F(CVUNetworkTest, ALoggerDelegateGetsEveryLineAndANullOneIsRefused) {
  struct Collector : CVUNetworkLoggerDelegate {
    void CVUNetwork_logWithLevel(int, std::int64_t code, std::optional<std::string>,
                                 std::vector<CVUNetworkContext>) override {
      codes.push_back(code);
    }
    void CVUNetwork_logWithLevel(int, std::int64_t code, std::optional<std::string>,
                                 CVUNetworkContext) override {
      codes.push_back(code);
    }
    void CVUNetwork_logWithLevel(int, std::int64_t code, std::optional<std::string>) override {
      codes.push_back(code);
    }
    std::vector<std::int64_t> codes;
  };
  auto collector = std::make_shared<Collector>();
  network->setLoggerDelegate(collector);
  network->setLoggerDelegate(nullptr);
  Outcome outcome;
  network->getURL("", std::nullopt, nullptr, false, record(outcome, main));
  waitFor(outcome);  // the completion writes to `outcome`, which ends with this test
  EXPECT_EQ(collector->codes, std::vector<std::int64_t>{900002});
  bool refusedLine = false;
  for (const auto& line : writtenLines())
    refusedLine = refusedLine || line.text.find("[I-NET900002]") != std::string::npos;
  EXPECT_TRUE(refusedLine);
}

TEST_F(CVUNetworkTest, EveryUrlSessionHasItsOwnSessionId) {
  std::set<std::string> ids;
  for (int i = 0; i < 50; ++i) ids.insert(CVUNetworkURLSession::create({})->sessionID());
  EXPECT_EQ(ids.size(), 50u);
  for (const auto& id : ids) EXPECT_EQ(id.rfind("com.cvu.network.background-upload-", 0), 0u);
}

TEST_F(CVUNetworkTest, TemporaryFilesOlderThanAnHourAreRemoved) {
  platform::testing::TemporaryDirectory folder;
  const auto now = std::filesystem::file_time_type::clock::now();
  for (auto [name, age] : {std::pair{"fresh", 0s}, std::pair{"hour", 3600s}, std::pair{"older", 3602s}}) {
    std::ofstream(folder.path() / name) << name;
    std::filesystem::last_write_time(folder.path() / name, now - age);
  }
  CVUNetworkURLSession::create({})->maybeRemoveTempFiles(folder.path(), kCVUNetworkTempFileExpiry);
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "fresh"));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "hour"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "older"));
}

TEST_F(CVUNetworkTest, DestroyingTheClientDropsTheCompletionsOfItsRequests) {
  server.script("GET", "/slow", {ScriptedReply(200, {}, "late").delayedBy(300ms)});
  server.start();
  Outcome outcome;
  network->getURL(url("/slow"), std::nullopt, nullptr, false, record(outcome, main));
  network.reset();
  platform::runMainQueueFor(800ms);
  EXPECT_EQ(outcome.calls, 0);
}

}  // namespace
}  // namespace beacon::testing
