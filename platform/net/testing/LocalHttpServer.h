#pragma once
// A real HTTP server on 127.0.0.1 for tests of code that fetches: the test registers its routes on
// server(), calls start(), points the code at baseURL() and afterwards reads what arrived from
// requests(). It listens on a free port chosen by the system and stops (joining its thread) when
// destroyed; a handler still running then must finish first, so handlers that wait must be released.

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::testing {

struct RecordedRequest {
  std::string method;
  std::string path;
  // The query as sent, still escaped ("id=1%2C2"), and its parameters decoded.
  std::string rawQuery;
  std::multimap<std::string, std::string> parameters;
};

class LocalHttpServer {
 public:
  LocalHttpServer();
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // Routes must be registered before start().
  httplib::Server& server() { return server_; }
  void start();

  int port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string baseURL() const;

  std::vector<RecordedRequest> requests() const;

 private:
  httplib::Server server_;
  int port_ = -1;
  std::thread listener_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace platform::testing
