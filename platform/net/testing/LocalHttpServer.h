#pragma once
// A real HTTP server on 127.0.0.1 for tests of code that talks HTTP. It listens on a free port
// chosen by the system (from construction, so port() is known before start()) and stops (joining
// its thread) when destroyed, started or not, giving the port back. Connections kept alive by
// clients end at once then; a handler still running must finish first, so handlers that wait must
// be released.
//
// Two ways to answer:
//  - script(method, path, replies): the requests for that exact method and path get the replies in
//    order, the last one again for every later request. A reply can be delayed, and its body cut
//    short after a number of bytes (announced at full length, then the connection is dropped).
//    Scripts may be set before or after start(); unscripted requests get 404.
//    A reply's body can also be generated as it is sent (withGeneratedBody): a large answer that
//    costs the server no memory.
//  - route(): a route of the test's own whose handler gets the whole body; server(): the
//    underlying server, for anything else. Both before start(); they take precedence over scripts.
//
// Every request is recorded with its headers and body before its answer is sent, so a client that
// got its answer always finds its request in requests(). A request body sent with
// "Content-Encoding: gzip" is recorded inflated (the server decodes it, and refuses one that does not
// inflate); the header stays in the record. Bodies of any content type are taken up to
// kMaximumRequestBodyBytes, on the wire and inflated, which is more than the SDK ever sends in one
// batch; a larger one is answered 413. (Requests with a body never reach plain routes added on
// server(): the scripts take them first. Routes for them go through route().)
//
// The TLS variant (Scheme::Https) serves with a certificate for 127.0.0.1 made when the server is
// made; it is trusted by nothing but a client given certificateFile().

#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/testing/TestEnvironment.h"

namespace platform::testing {

struct RecordedRequest {
  std::string method;
  std::string path;
  // The query as sent, still escaped ("id=1%2C2"), and its parameters decoded.
  std::string rawQuery;
  std::multimap<std::string, std::string> parameters;
  // As received, in order.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name, compared without regard to case.
  std::optional<std::string> header(const std::string& name) const;
};

struct ScriptedReply {
  ScriptedReply(int status = 200, std::vector<std::pair<std::string, std::string>> headers = {},
                std::string body = {})
      : status(status), headers(std::move(headers)), body(std::move(body)) {}
  ScriptedReply delayedBy(std::chrono::milliseconds wait) const {
    ScriptedReply copy = *this;
    copy.delay = wait;
    return copy;
  }
  ScriptedReply cutAfter(std::size_t bytes) const {
    ScriptedReply copy = *this;
    copy.cutAfterBytes = bytes;
    return copy;
  }
  // The body becomes `bytes` copies of `fill`, made piece by piece while it is sent.
  ScriptedReply withGeneratedBody(std::size_t bytes, char fill = 'x') const {
    ScriptedReply copy = *this;
    copy.generatedBodyBytes = bytes;
    copy.generatedFill = fill;
    return copy;
  }

  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string contentType = "application/octet-stream";
  // Waited before answering.
  std::chrono::milliseconds delay{0};
  // When set, only this many bytes of the body are sent before the connection is dropped.
  std::optional<std::size_t> cutAfterBytes;
  // When set, the body is generated (see withGeneratedBody) and `body` is not sent.
  std::optional<std::size_t> generatedBodyBytes;
  char generatedFill = 'x';
};

class LocalHttpServer {
 public:
  enum class Scheme { Http, Https };

  // Comfortably above the SDK's largest batch (10 MiB of bundles before compression).
  static constexpr std::size_t kMaximumRequestBodyBytes = 32u * 1024u * 1024u;

  using BodyHandler = std::function<void(const httplib::Request& request, const std::string& body,
                                         httplib::Response& response)>;

  explicit LocalHttpServer(Scheme scheme = Scheme::Http);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // Routes must be registered before start().
  httplib::Server& server() { return *server_; }
  // A route ("GET", "POST", "PUT", "PATCH" or "DELETE") whose handler gets the request's whole body,
  // inflated (empty for a request without one).
  void route(const std::string& method, const std::string& pattern, BodyHandler handler);
  void start();

  void script(const std::string& method, const std::string& path, std::vector<ScriptedReply> replies);
  // Answers with `reply` as a script would (for routes of a test's own that script some answers).
  static void respond(const ScriptedReply& reply, httplib::Response& response);

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" or "https://127.0.0.1:<port>"
  std::string baseURL() const;
  // The TLS variant's certificate (PEM), for the client to trust.
  const std::filesystem::path& certificateFile() const { return certificateFile_; }

  std::vector<RecordedRequest> requests() const;
  // The recorded requests for one path.
  std::vector<RecordedRequest> requests(const std::string& path) const;

 private:
  void runLoop();
  void answerScripted(const httplib::Request& request, httplib::Response& response);
  // Sets the body of the record of the request being answered on this thread.
  void record(const std::string& body);
  // Reads the body through `reader` and records it; false (the answer set to 413) when it is too large.
  bool readBody(const httplib::ContentReader& reader, std::string& body, httplib::Response& response);
  httplib::Server::HandlerWithContentReader withBody(BodyHandler handler);

  Scheme scheme_;
  // The certificate's folder (HTTPS only); removed also when the constructor fails after making it.
  std::optional<testing::TemporaryDirectory> folder_;
  std::filesystem::path certificateFile_;
  std::unique_ptr<httplib::Server> server_;
  int port_ = -1;
  std::thread listener_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  struct Script {
    std::vector<ScriptedReply> replies;
    std::size_t served = 0;
  };
  std::map<std::pair<std::string, std::string>, Script> scripts_;
};

}  // namespace platform::testing
