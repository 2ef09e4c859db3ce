#pragma once
// A loopback stand-in for the analytics service, for tests that run the engine against a real HTTP
// server: it serves the configuration document and accepts the gzip batch posts, on 127.0.0.1.
//
// Use: make it, point the engine at origin() (the process environment variable
// BEACON_SERVICE_ORIGIN, which replaces every service origin of the SDK), let the
// engine upload, then read what arrived: batches() decodes each post with the engine's own messages,
// and decodeRaw() decodes it once more, independently, with `protoc --decode_raw`.
//
// Answers:
//  - GET /config/app/<app ID>: 404 until setConfiguration(); then the document with its ETag and
//    Last-Modified, or 304 when the request names that ETag in If-None-Match.
//  - POST /a: the statuses of setUploadStatuses() in turn, the last one again for every later post
//    (204 by default). While holdUploads() is in force a post is received and recorded but not
//    answered until releaseUploads() (or the collector's end): an upload in flight, for tests that
//    end the uploading process meanwhile.
//  - answerConfigurationWith() / answerUploadsWith(): every later request of that route gets this
//    reply instead (a broken or hostile service: a huge or gzip-bomb body); nullopt goes back to the
//    answers above. A post is still received and recorded first. Posts are taken whole up to the
//    test server's limit, far above the SDK's largest batch.
//
// Thread-safe: the server answers on its own threads; the test reads from its own.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "measurement/messages/NANOMessage.h"
#include "platform/net/testing/LocalHttpServer.h"
#include "platform/value/Value.h"

namespace beacon::testing {

struct BMSCollectedBatch {
  // The status the collector answered (0 while the post is held).
  int status = 0;
  // The post's body, inflated.
  platform::Bytes body;
  // The body decoded with the engine's messages; empty when it is no batch message.
  std::optional<BMSPBMeasurementBatch> batch;
};

class BMSCollectorFake {
 public:
  BMSCollectorFake();
  ~BMSCollectorFake();
  BMSCollectorFake(const BMSCollectorFake&) = delete;
  BMSCollectorFake& operator=(const BMSCollectorFake&) = delete;

  // "http://127.0.0.1:<port>"
  std::string origin() const { return server_.baseURL(); }
  // The server itself, where a test scripts the other services' routes it needs: the one origin
  // variable sends every service of the SDK to this origin. Paths other than the two above answer
  // as scripted.
  platform::testing::LocalHttpServer& server() { return server_; }

  void setConfiguration(platform::Bytes document, std::string etag, std::string lastModified = "");
  void setUploadStatuses(std::vector<int> statuses);
  void holdUploads();
  void releaseUploads();
  void answerConfigurationWith(std::optional<platform::testing::ScriptedReply> reply);
  void answerUploadsWith(std::optional<platform::testing::ScriptedReply> reply);

  // Every post received, in arrival order.
  std::vector<BMSCollectedBatch> batches() const;
  // The names of the events of every accepted (2xx) batch, in order.
  std::vector<std::string> acceptedEventNames() const;
  std::size_t uploadCount() const;
  // The configuration requests received, with their headers.
  std::vector<platform::testing::RecordedRequest> configurationRequests() const;
  // Waits in real time until `count` posts have arrived; false after `timeout`.
  bool waitForUploads(std::size_t count, std::chrono::milliseconds timeout) const;

  // `protoc --decode_raw` of a message's bytes: the wire fields as text ("1 {\n  2: \"_f\" ..."). Empty
  // when protoc cannot decode them.
  static std::string decodeRaw(const platform::Bytes& message);

 private:
  void answerConfiguration(const httplib::Request& request, httplib::Response& response);
  void answerUpload(const std::string& body, httplib::Response& response);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::optional<platform::Bytes> configuration_;
  std::string etag_;
  std::string lastModified_;
  std::vector<int> statuses_{204};
  std::size_t answered_ = 0;
  std::optional<platform::testing::ScriptedReply> configurationReply_;
  std::optional<platform::testing::ScriptedReply> uploadReply_;
  bool holding_ = false;
  bool closing_ = false;
  std::vector<BMSCollectedBatch> batches_;
  // Last, so that it stops first: a request still being answered uses everything above.
  platform::testing::LocalHttpServer server_;
};

}  // namespace beacon::testing
