// URL sessions against the local test server: bodies, headers, downloads, redirects, TLS trust,
// time-outs, cut-off bodies, the size bound, cancelling, and the download files left behind.

#include "platform/net/UrlSession.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <mutex>

#include "platform/net/DownloadFile.h"
#include "platform/net/HttpError.h"
#include "platform/net/testing/GzipBomb.h"
#include "platform/net/testing/LocalHttpServer.h"
#include "platform/testing/TestEnvironment.h"

using namespace std::chrono_literals;

namespace platform {
namespace {

using testing::LocalHttpServer;
using testing::ScriptedReply;

constexpr auto kCompletionGuard = 30s;

bool isEmptyFolder(const std::filesystem::path& folder) {
  return std::filesystem::is_empty(folder);
}

// Waits in real time for work on other threads; false after the guard.
bool eventually(const std::function<bool()>& done) {
  const auto giveUp = std::chrono::steady_clock::now() + kCompletionGuard;
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// Holds a route's answer until released; released at the latest when it goes, so that the server,
// which waits for its handlers, can stop.
class HeldReply {
 public:
  ~HeldReply() { release(); }
  // For the handler to wait on: a copy of its own, which outlives this object.
  std::shared_future<void> released() const { return released_; }
  void release() {
    std::call_once(once_, [this] { promise_.set_value(); });
  }

 private:
  std::once_flag once_;
  std::promise<void> promise_;
  std::shared_future<void> released_ = promise_.get_future().share();
};

// Records every delegate call; completion() waits for the last one.
class RecordingDelegate final : public UrlSessionDelegate {
 public:
  void didReceiveData(UrlSessionTask&, const Bytes& data) override {
    std::lock_guard lock(mutex_);
    body.insert(body.end(), data.begin(), data.end());
  }
  void didFinishDownloading(UrlSessionTask&, const std::filesystem::path& location) override {
    std::ifstream in(location, std::ios::binary);
    std::lock_guard lock(mutex_);
    downloaded = std::string(std::istreambuf_iterator<char>(in), {});
  }
  void didComplete(UrlSessionTask&, const std::optional<HttpResponse>& head,
                   const std::optional<Error>& failure) override {
    std::lock_guard lock(mutex_);
    ++completions;
    response = head;
    error = failure;
    onDelegateQueue = queue && queue->isCurrent();
    if (completions == 1) done.set_value();
  }

  bool waitForCompletion() { return future.wait_for(kCompletionGuard) == std::future_status::ready; }
  std::string bodyText() const { return std::string(body.begin(), body.end()); }

  QueueRef queue;
  Bytes body;
  std::optional<std::string> downloaded;
  int completions = 0;
  std::optional<HttpResponse> response;
  std::optional<Error> error;
  bool onDelegateQueue = false;

 private:
  std::mutex mutex_;
  std::promise<void> done;
  std::future<void> future = done.get_future();
};

class UrlSessionTest : public ::testing::Test {
 protected:
  // Downloads that fall back to the system's temporary folder find one of the test's own.
  UrlSessionTest() { environment_.set("TMPDIR", temporary_.path().string()); }

  std::shared_ptr<UrlSession> session(UrlSessionConfiguration configuration = {}) {
    delegate_->queue = queue_;
    return UrlSession::create(std::move(configuration), delegate_, queue_);
  }
  HttpRequest request(const std::string& path, const std::string& method = "GET") const {
    HttpRequest request;
    request.url = server_.baseURL() + path;
    request.method = method;
    return request;
  }
  // Runs `task` and waits for its completion.
  void run(const std::shared_ptr<UrlSessionTask>& task) {
    ASSERT_TRUE(task);
    task->resume();
    ASSERT_TRUE(delegate_->waitForCompletion());
    queue_->sync([] {});
  }

  testing::TemporaryDirectory temporary_;
  testing::ScopedEnvironment environment_;
  LocalHttpServer server_;
  QueueRef queue_ = makeSerialQueue("net.test.delegate");
  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
};

TEST_F(UrlSessionTest, UploadSendsMethodHeadersAndBodyAndDeliversTheAnswerOnTheDelegateQueue) {
  server_.script("POST", "/upload", {{201, {{"ETag", "abc"}}, "stored"}});
  server_.start();
  UrlSessionConfiguration configuration;
  configuration.additionalHeaders = {{"X-Session", "s"}, {"X-Both", "session"}};
  auto upload = request("/upload", "POST");
  upload.headers = {{"X-Both", "request"}, {"Content-Type", "application/x-test"}};
  auto running = session(configuration);
  run(running->uploadTask(upload, Bytes{'h', 'i', 0, 'x'}));

  ASSERT_TRUE(delegate_->response);
  EXPECT_FALSE(delegate_->error);
  EXPECT_EQ(delegate_->response->statusCode, 201);
  EXPECT_EQ(delegate_->response->headers.get("etag"), "abc");
  EXPECT_EQ(delegate_->bodyText(), "stored");
  EXPECT_TRUE(delegate_->onDelegateQueue);
  EXPECT_EQ(delegate_->completions, 1);
  const auto sent = server_.requests("/upload");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].body, std::string("hi\0x", 4));
  EXPECT_EQ(sent[0].header("X-Both"), "request");
  EXPECT_EQ(sent[0].header("X-Session"), "s");
  EXPECT_EQ(sent[0].header("Content-Type"), "application/x-test");
  EXPECT_EQ(sent[0].header("Content-Length"), "4");
  EXPECT_FALSE(sent[0].header("Expect"));
}

TEST_F(UrlSessionTest, UploadsFromAFileAndEmptyPostsSayLengthZero) {
  server_.script("POST", "/file", {ScriptedReply(200)});
  server_.script("DELETE", "/item", {ScriptedReply(200)});
  server_.start();
  testing::TemporaryDirectory folder;
  const auto file = folder.path() / "body";
  std::ofstream(file, std::ios::binary) << "from a file";
  run(session()->uploadTask(request("/file", "POST"), file));
  EXPECT_EQ(server_.requests("/file").at(0).body, "from a file");

  auto second = std::make_shared<RecordingDelegate>();
  delegate_ = second;
  auto deletion = request("/item", "DELETE");
  deletion.body = {'{', '}'};
  run(session()->dataTask(deletion));
  EXPECT_EQ(server_.requests("/item").at(0).body, "{}");
}

TEST_F(UrlSessionTest, DownloadHandsTheBodyOverInAFileThatIsRemovedAfterwards) {
  server_.script("GET", "/doc", {{200, {}, "document body"}});
  server_.start();
  run(session()->downloadTask(request("/doc")));
  EXPECT_EQ(delegate_->downloaded, "document body");
  EXPECT_TRUE(delegate_->body.empty());
}

TEST_F(UrlSessionTest, EveryKindOfTaskStopsABodyAtItsBoundCountedAfterDecoding) {
  constexpr std::size_t kBound = 1u << 20;
  const std::vector<std::pair<std::string, std::string>> gzip{{"Content-Encoding", "gzip"}};
  for (const char* method : {"GET", "POST"}) {
    server_.script(method, "/bomb", {ScriptedReply(200, gzip, testing::gzipBomb(64u << 20))});
    server_.script(method, "/exact", {ScriptedReply(200, gzip, testing::gzipBomb(kBound))});
  }
  server_.start();
  testing::TemporaryDirectory downloads;
  UrlSessionConfiguration configuration;
  configuration.downloadDirectory = downloads.path();
  auto bounded = [&](const std::string& path, const std::string& method) {
    HttpRequest bounded = request(path, method);
    bounded.maximumResponseBytes = kBound;
    return bounded;
  };
  using Make = std::function<std::shared_ptr<UrlSessionTask>(UrlSession&, const std::string& path)>;
  const std::vector<std::pair<const char*, Make>> kinds{
      {"data", [&](UrlSession& s, const std::string& path) { return s.dataTask(bounded(path, "GET")); }},
      {"upload",
       [&](UrlSession& s, const std::string& path) { return s.uploadTask(bounded(path, "POST"), Bytes{1}); }},
      {"download",
       [&](UrlSession& s, const std::string& path) { return s.downloadTask(bounded(path, "GET")); }}};
  for (const auto& [kind, make] : kinds) {
    delegate_ = std::make_shared<RecordingDelegate>();
    run(make(*session(configuration), "/bomb"));
    ASSERT_TRUE(delegate_->error) << kind;
    EXPECT_TRUE(delegate_->error->is(kHttpErrorDomain, HttpErrorCode::ResponseTooLarge)) << kind;
    EXPECT_LE(delegate_->body.size(), kBound) << kind;
    EXPECT_FALSE(delegate_->downloaded) << kind;

    delegate_ = std::make_shared<RecordingDelegate>();
    run(make(*session(configuration), "/exact"));
    EXPECT_FALSE(delegate_->error) << kind << " " << delegate_->error->debugDescription();
    const std::size_t received =
        delegate_->downloaded ? delegate_->downloaded->size() : delegate_->body.size();
    EXPECT_EQ(received, kBound) << kind;
    EXPECT_TRUE(isEmptyFolder(downloads.path())) << kind;
  }
}

TEST_F(UrlSessionTest, ADownloadThatFailsOrIsCancelledLeavesNoFileBehind) {
  server_.script("GET", "/cut", {ScriptedReply(200, {}, std::string(50000, 'x')).cutAfter(20000)});
  server_.script("GET", "/stall", {ScriptedReply(200, {}, "late").delayedBy(800ms)});
  server_.start();
  testing::TemporaryDirectory downloads;
  UrlSessionConfiguration configuration;
  configuration.downloadDirectory = downloads.path() / "made-when-missing";
  run(session(configuration)->downloadTask(request("/cut")));
  ASSERT_TRUE(delegate_->error);
  EXPECT_FALSE(delegate_->downloaded);
  EXPECT_TRUE(isEmptyFolder(configuration.downloadDirectory));

  auto running = session(configuration);
  running->downloadTask(request("/stall"))->resume();
  while (server_.requests("/stall").empty()) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(isEmptyFolder(configuration.downloadDirectory)) << "the body's file exists while it runs";
  running.reset();
  EXPECT_TRUE(eventually([&] { return isEmptyFolder(configuration.downloadDirectory); }));

  // A folder that cannot be made does not stop the download.
  server_.script("GET", "/doc", {{200, {}, "document body"}});
  std::ofstream(downloads.path() / "a-file") << "x";
  configuration.downloadDirectory = downloads.path() / "a-file" / "downloads";
  delegate_ = std::make_shared<RecordingDelegate>();
  run(session(configuration)->downloadTask(request("/doc")));
  EXPECT_EQ(delegate_->downloaded, "document body");
}

TEST(UrlSessionDownloadFilesTest, OnlyFilesNoLiveTaskHoldsAreSweptAway) {
  testing::TemporaryDirectory folder;
  const auto old = std::filesystem::file_time_type::clock::now() - 1h;
  auto leave = [&](const std::string& name, bool aged) {
    std::ofstream(folder.path() / name) << name;
    if (aged) std::filesystem::last_write_time(folder.path() / name, old);
    return folder.path() / name;
  };
  const auto abandoned = leave("download-dead01", true);
  const auto young = leave("download-young", false);
  const auto unrelated = leave("CVUUpload_temp_x", true);
  auto live = detail::DownloadFile::make(folder.path());
  ASSERT_TRUE(live);
  std::filesystem::last_write_time(live->path(), old);

  UrlSession::removeAbandonedDownloads(folder.path());
  EXPECT_FALSE(std::filesystem::exists(abandoned));
  EXPECT_TRUE(std::filesystem::exists(young)) << "a file just made may not be locked yet";
  EXPECT_TRUE(std::filesystem::exists(unrelated));
  EXPECT_TRUE(std::filesystem::exists(live->path())) << "its task still holds it";
  const auto livePath = live->path();
  live.reset();
  EXPECT_FALSE(std::filesystem::exists(livePath));
}

// A download whose folder cannot be used keeps its body in a folder of the user's alone inside the
// system's temporary folder, never loose among other programs' files; what a process that died there
// left is swept as in the session's own folder, while a running download keeps its file.
TEST_F(UrlSessionTest, DownloadsThatFellBackToTheTemporaryFolderAreSweptToo) {
  const std::filesystem::path& temporary = temporary_.path();
  HeldReply held;
  server_.server().Get("/held",
                       [released = held.released()](const httplib::Request&, httplib::Response& response) {
                         released.wait();
                         response.set_content("held body", "text/plain");
                       });
  server_.start();
  std::ofstream(temporary / "a-file") << "x";
  UrlSessionConfiguration configuration;
  configuration.downloadDirectory = temporary / "a-file" / "downloads";
  auto running = session(configuration);
  auto task = running->downloadTask(request("/held"));
  task->resume();

  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(temporary))
    if (entry.path().filename().string().starts_with("download-")) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u) << "the body's file exists from the start";
  const std::filesystem::path folder = files[0].parent_path();
  EXPECT_EQ(folder.parent_path(), temporary);
  const auto others = std::filesystem::perms::group_all | std::filesystem::perms::others_all;
  EXPECT_EQ(std::filesystem::status(folder).permissions() & others, std::filesystem::perms::none);

  const auto dead = folder / "download-dead01";
  std::ofstream(dead) << "half a document";
  std::filesystem::last_write_time(dead, std::filesystem::file_time_type::clock::now() - 1h);
  std::filesystem::last_write_time(files[0], std::filesystem::file_time_type::clock::now() - 1h);
  UrlSession::removeAbandonedDownloads({});
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(files[0])) << "its task still holds it";

  held.release();
  ASSERT_TRUE(delegate_->waitForCompletion());
  queue_->sync([] {});
  EXPECT_EQ(delegate_->downloaded, "held body");
  EXPECT_TRUE(isEmptyFolder(folder));
}

// A folder of that name that is not the user's alone is neither written into nor swept.
TEST_F(UrlSessionTest, AFallbackFolderOthersMayWriteIsNotUsed) {
  const std::filesystem::path& temporary = temporary_.path();
  const std::optional<std::filesystem::path> folder = detail::fallbackDownloadFolder(true);
  ASSERT_TRUE(folder);
  std::filesystem::permissions(*folder, std::filesystem::perms::all);
  EXPECT_FALSE(detail::fallbackDownloadFolder(true));
  const auto planted = *folder / "download-planted";
  std::ofstream(planted) << "x";
  std::filesystem::last_write_time(planted, std::filesystem::file_time_type::clock::now() - 1h);
  UrlSession::removeAbandonedDownloads({});
  EXPECT_TRUE(std::filesystem::exists(planted));

  server_.script("GET", "/doc", {{200, {}, "document body"}});
  server_.start();
  run(session()->downloadTask(request("/doc")));
  ASSERT_TRUE(delegate_->error);
  EXPECT_TRUE(delegate_->error->is(kHttpErrorDomain, HttpErrorCode::Transport));
  std::size_t downloadFiles = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(temporary))
    downloadFiles += entry.path().filename().string().starts_with("download-");
  EXPECT_EQ(downloadFiles, 1u) << "only the planted one";
}

TEST_F(UrlSessionTest, RedirectsAreDecidedByTheSession) {
  server_.script("GET", "/see-other", {{303, {{"Location", "/target"}}, "moved"}});
  server_.script("GET", "/found", {{302, {{"Location", "/target"}}, "refused body"}});
  server_.script("GET", "/target", {{200, {}, "arrived"}});
  server_.start();
  UrlSessionConfiguration configuration;
  configuration.followRedirect = [](long status) { return status == 303 || status == 308; };
  run(session(configuration)->dataTask(request("/see-other")));
  EXPECT_EQ(delegate_->response->statusCode, 200);
  EXPECT_EQ(delegate_->response->url, server_.baseURL() + "/target");
  EXPECT_EQ(delegate_->bodyText(), "arrived");

  delegate_ = std::make_shared<RecordingDelegate>();
  run(session(configuration)->dataTask(request("/found")));
  EXPECT_EQ(delegate_->response->statusCode, 302);
  EXPECT_EQ(delegate_->bodyText(), "refused body");
  EXPECT_FALSE(delegate_->error);
}

TEST_F(UrlSessionTest, ABodyCutShortGivesTheHeadAndAnError) {
  server_.script("GET", "/cut", {ScriptedReply(200, {}, std::string(5000, 'x')).cutAfter(100)});
  server_.start();
  run(session()->dataTask(request("/cut")));
  ASSERT_TRUE(delegate_->response);
  EXPECT_EQ(delegate_->response->statusCode, 200);
  ASSERT_TRUE(delegate_->error);
  EXPECT_EQ(delegate_->error->domain, kHttpErrorDomain);
  EXPECT_LT(delegate_->body.size(), 5000u);
}

TEST_F(UrlSessionTest, GivesUpWhenTheTimeOutPasses) {
  server_.script("GET", "/slow", {ScriptedReply(200, {}, "late").delayedBy(1500ms)});
  server_.start();
  UrlSessionConfiguration configuration;
  configuration.timeout = 200ms;
  run(session(configuration)->dataTask(request("/slow")));
  ASSERT_TRUE(delegate_->error);
  EXPECT_TRUE(delegate_->error->is(kHttpErrorDomain, HttpErrorCode::TimedOut));
  EXPECT_FALSE(delegate_->response);
}

TEST_F(UrlSessionTest, InvalidatingCancelsAndSilencesTheDelegate) {
  server_.script("GET", "/stall", {ScriptedReply(200, {}, "late").delayedBy(800ms)});
  server_.start();
  auto running = session();
  auto task = running->dataTask(request("/stall"));
  task->resume();
  while (server_.requests().empty()) std::this_thread::sleep_for(1ms);
  running.reset();
  std::this_thread::sleep_for(1200ms);
  queue_->sync([] {});
  EXPECT_EQ(delegate_->completions, 0);
}

TEST(UrlSessionTlsTest, TrustsTheServerOnlyWithItsCertificate) {
  LocalHttpServer server(LocalHttpServer::Scheme::Https);
  server.script("GET", "/secure", {{200, {}, "secret"}});
  server.start();
  auto queue = makeSerialQueue("net.test.tls");
  HttpRequest request;
  request.url = server.baseURL() + "/secure";

  auto untrusted = std::make_shared<RecordingDelegate>();
  auto plainSession = UrlSession::create({}, untrusted, queue);
  plainSession->dataTask(request)->resume();
  ASSERT_TRUE(untrusted->waitForCompletion());
  ASSERT_TRUE(untrusted->error);
  EXPECT_TRUE(untrusted->error->is(kHttpErrorDomain, HttpErrorCode::ServerUntrusted))
      << untrusted->error->debugDescription();

  auto trusted = std::make_shared<RecordingDelegate>();
  UrlSessionConfiguration configuration;
  configuration.extraTrustedCertificates = server.certificateFile();
  auto trustingSession = UrlSession::create(configuration, trusted, queue);
  trustingSession->dataTask(request)->resume();
  ASSERT_TRUE(trusted->waitForCompletion());
  EXPECT_FALSE(trusted->error) << trusted->error->debugDescription();
  queue->sync([] {});
  EXPECT_EQ(trusted->bodyText(), "secret");
}

}  // namespace
}  // namespace platform
