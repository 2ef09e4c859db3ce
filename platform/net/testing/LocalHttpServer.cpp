#include "platform/net/testing/LocalHttpServer.h"

#include <stdexcept>

namespace platform::testing {

LocalHttpServer::LocalHttpServer() {
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ < 0) throw std::runtime_error("LocalHttpServer: cannot bind to 127.0.0.1");
  // Recorded before any handler runs, so a client that got its answer always finds its request here.
  server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    RecordedRequest recorded{request.method, request.path, {}, {}};
    if (const std::size_t question = request.target.find('?'); question != std::string::npos) {
      recorded.rawQuery = request.target.substr(question + 1);
    }
    recorded.parameters.insert(request.params.begin(), request.params.end());
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(recorded));
    return httplib::Server::HandlerResponse::Unhandled;
  });
}

LocalHttpServer::~LocalHttpServer() {
  server_.stop();
  if (listener_.joinable()) listener_.join();
}

void LocalHttpServer::start() {
  // The socket already listens (bind_to_any_port), so clients may connect before the loop runs.
  listener_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() only ends a loop that runs, so the destructor must not come before the loop has started.
  while (!server_.is_running()) std::this_thread::yield();
}

std::string LocalHttpServer::baseURL() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<RecordedRequest> LocalHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

}  // namespace platform::testing
