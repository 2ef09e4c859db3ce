// Reply bodies from a server we do not control, plain or claimed to be gzip or really gzip, through
// the SDK's URL sessions (GET downloads into a file, POST answers collected in memory) against a
// local server: every request completes exactly once; an answer accepted is the body as sent (or as
// it inflates) and never beyond its bound; one past the bound is the size error with no response;
// and no download file outlives its request.
//
// Input: byte 0 chooses the kind (bit 0: POST, bits 1-2: 0 plain, 1 labelled gzip as it stands,
// 2 gzip made here), byte 1 the GET's bound in units of 256 bytes; the rest is the body.

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "fuzz/FuzzCheck.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/HttpError.h"
#include "platform/net/testing/LocalHttpServer.h"
#include "platform/testing/TestEnvironment.h"
#include "sdk-utilities/gzip/CVUGzip.h"
#include "sdk-utilities/network/CVUNetwork.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace {

using velloran::fuzz::check;

enum class Encoding { Plain, Labelled, Compressed };

struct Reply {
  std::mutex mutex;
  std::string body;
  bool gzipLabel = false;
};

// The network layer's lines say what the checks already know; printing them only slows the run.
struct Silence final : beacon::CVUNetworkLoggerDelegate {
  void CVUNetwork_logWithLevel(int, std::int64_t, std::optional<std::string>,
                               std::vector<beacon::CVUNetworkContext>) override {}
  void CVUNetwork_logWithLevel(int, std::int64_t, std::optional<std::string>,
                               beacon::CVUNetworkContext) override {}
  void CVUNetwork_logWithLevel(int, std::int64_t, std::optional<std::string>) override {}
};

struct Harness {
  Harness() {
    user.writeInfo(platform::Dictionary{{"CFBundleIdentifier", platform::Value("com.fuzz.network")}});
    auto answer = [this](const httplib::Request&, const std::string&, httplib::Response& response) {
      std::lock_guard lock(reply.mutex);
      if (reply.gzipLabel) response.set_header("Content-Encoding", "gzip");
      response.set_content(reply.body, "application/octet-stream");
    };
    server.route("GET", "/reply", answer);
    server.route("POST", "/reply", answer);
    server.start();
    network = beacon::CVUNetwork::createWithReachabilityHost("127.0.0.1",
                                                             &beacon::testing::FakeReachability::api());
    network->setLoggerDelegate(silence);
    folder = user.dataHome() / "com.fuzz.network" / "CVU" / "Network" / "CVUNetworkTemporaryDirectory";
  }

  bool downloadFileLeft() const {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
      if (entry.path().filename().string().starts_with("download-")) return true;
    return false;
  }

  platform::testing::TemporaryUser user;
  platform::testing::LocalHttpServer server;
  Reply reply;
  std::shared_ptr<Silence> silence = std::make_shared<Silence>();
  std::shared_ptr<beacon::CVUNetwork> network;
  std::filesystem::path folder;
};

Harness& harness() {
  // Lives as long as the process (its server and sessions keep threads the exit handlers must not
  // pull from under them); only the user's folder goes when the process ends.
  static Harness* shared = [] {
    auto* made = new Harness();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(shared->user.root(), ignored);
    });
    return made;
  }();
  return *shared;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool post = data[0] & 1;
  const auto encoding = static_cast<Encoding>((data[0] >> 1) % 3);
  const std::size_t bound = post ? beacon::kCVUNetworkMaximumResponseBytes : std::size_t{data[1]} * 256;
  const platform::Bytes body(data + 2, data + size);

  Harness& h = harness();
  {
    std::lock_guard lock(h.reply.mutex);
    platform::Bytes sent = body;
    if (encoding == Encoding::Compressed) {
      std::optional<platform::Bytes> compressed = beacon::CVUGzip::cvu_dataByGzippingData(body);
      sent = compressed.value_or(platform::Bytes{});
    }
    h.reply.body.assign(sent.begin(), sent.end());
    h.reply.gzipLabel = encoding != Encoding::Plain && !sent.empty();
  }

  int calls = 0;
  std::optional<platform::HttpResponse> response;
  std::optional<platform::Bytes> received;
  std::optional<platform::Error> error;
  auto completion = [&](const auto& answer, const auto& bytes, const auto& failure) {
    ++calls;
    response = answer;
    received = bytes;
    error = failure;
  };
  const std::string url = h.server.baseURL() + "/reply";
  if (post) {
    h.network->postURL(url, std::nullopt, platform::Bytes{1}, nullptr, false, completion);
  } else {
    h.network->getURL(url, std::nullopt, nullptr, false, completion, bound);
  }
  check(platform::runUntil([&] { return calls > 0; }, std::chrono::seconds(30)), "the request completes");
  platform::runMainQueueFor(std::chrono::milliseconds(1));
  check(calls == 1, "the completion runs once");
  check(!h.downloadFileLeft(), "no download file outlives its request");

  if (received) check(received->size() <= bound, "an accepted body stays within its bound");
  const bool tooLarge =
      error && error->is(platform::kHttpErrorDomain, platform::HttpErrorCode::ResponseTooLarge);
  if (tooLarge) check(!response && !received, "an answer past its bound is no answer");
  if (encoding == Encoding::Labelled) return 0;
  if (body.size() > bound) {
    check(tooLarge, "a body past its bound is the size error");
  } else {
    check(!error && response && response->statusCode == 200, "a body within its bound arrives");
    check(received.value_or(platform::Bytes{}) == body, "the body arrives as it was sent");
  }
  return 0;
}
