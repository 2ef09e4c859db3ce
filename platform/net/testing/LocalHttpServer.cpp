#include "platform/net/testing/LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <stdexcept>

#include "platform/net/testing/SelfSignedCertificate.h"

namespace platform::testing {
namespace {

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The server's side of every connection still open to `port` stops reading. A worker waiting for a
// kept-alive client's next request then sees the end at once and closes, where it would otherwise
// wait out the keep-alive timeout; a worker still answering has read its request and can finish.
void endReadingOfConnectionsTo(int port) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
    int descriptor = -1;
    try {
      descriptor = std::stoi(entry.path().filename().string());
    } catch (const std::exception&) {
      continue;
    }
    sockaddr_in local{};
    socklen_t length = sizeof(local);
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0) continue;
    if (local.sin_family == AF_INET && ntohs(local.sin_port) == port) ::shutdown(descriptor, SHUT_RD);
  }
}

// The record of the request this thread is answering: a request is handled on one thread from head
// to answer.
thread_local std::size_t recordedIndex = 0;

}  // namespace

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
  for (const auto& [fieldName, value] : headers) {
    if (sameName(fieldName, name)) return value;
  }
  return std::nullopt;
}

LocalHttpServer::LocalHttpServer(Scheme scheme) : scheme_(scheme) {
  if (scheme_ == Scheme::Https) {
    folder_.emplace();
    certificateFile_ = folder_->path() / "certificate.pem";
    const auto keyFile = folder_->path() / "key.pem";
    writeSelfSignedCertificate(certificateFile_, keyFile);
    server_ = std::make_unique<httplib::SSLServer>(certificateFile_.c_str(), keyFile.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  server_->set_payload_max_length(kMaximumRequestBodyBytes);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ < 0) throw std::runtime_error("LocalHttpServer: cannot bind to 127.0.0.1");
  // Recorded as soon as the head is read (a test may wait for a request whose handler stalls); the
  // body is added once it was read, before the answer goes out. A request is handled on one thread
  // from head to answer.
  server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    RecordedRequest recorded{request.method, request.path, {}, {}, {}, {}};
    if (const std::size_t question = request.target.find('?'); question != std::string::npos) {
      recorded.rawQuery = request.target.substr(question + 1);
    }
    recorded.parameters.insert(request.params.begin(), request.params.end());
    recorded.headers.assign(request.headers.begin(), request.headers.end());
    std::lock_guard lock(mutex_);
    recordedIndex = requests_.size();
    requests_.push_back(std::move(recorded));
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server_->set_post_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    // Routes that read the body themselves recorded it already; the request holds none then.
    if (!request.body.empty()) record(request.body);
  });
}

void LocalHttpServer::record(const std::string& body) {
  std::lock_guard lock(mutex_);
  if (recordedIndex < requests_.size()) requests_[recordedIndex].body = body;
}

bool LocalHttpServer::readBody(const httplib::ContentReader& reader, std::string& body,
                               httplib::Response& response) {
  bool tooLarge = false;
  const bool read = reader([&](const char* data, std::size_t length) {
    tooLarge = length > kMaximumRequestBodyBytes - body.size();
    if (!tooLarge) body.append(data, length);
    return !tooLarge;
  });
  record(body);
  if (tooLarge) response.status = 413;
  return read && !tooLarge;
}

httplib::Server::HandlerWithContentReader LocalHttpServer::withBody(BodyHandler handler) {
  return [this, handler = std::move(handler)](const httplib::Request& request, httplib::Response& response,
                                              const httplib::ContentReader& reader) {
    std::string body;
    if (readBody(reader, body, response)) handler(request, body, response);
  };
}

void LocalHttpServer::route(const std::string& method, const std::string& pattern, BodyHandler handler) {
  // A DELETE may come with a body or without one; the library routes the two apart.
  auto plain = [handler](const httplib::Request& request, httplib::Response& response) {
    handler(request, request.body, response);
  };
  if (method == "GET") {
    server_->Get(pattern, plain);
  } else if (method == "POST") {
    server_->Post(pattern, withBody(handler));
  } else if (method == "PUT") {
    server_->Put(pattern, withBody(handler));
  } else if (method == "PATCH") {
    server_->Patch(pattern, withBody(handler));
  } else if (method == "DELETE") {
    server_->Delete(pattern, withBody(handler));
    server_->Delete(pattern, plain);
  } else {
    throw std::invalid_argument("LocalHttpServer: no routes for " + method);
  }
}

LocalHttpServer::~LocalHttpServer() {
  // stop() closes the listening socket only of a loop that runs: a server never started runs its loop
  // for the moment it takes to give its port back.
  if (!listener_.joinable()) runLoop();
  server_->stop();
  // After stop() nothing new is accepted, so every connection of this server is open by now.
  endReadingOfConnectionsTo(port_);
  listener_.join();
}

void LocalHttpServer::start() {
  // After the test's own routes, so those take precedence.
  auto scripted = [this](const httplib::Request& request, httplib::Response& response) {
    answerScripted(request, response);
  };
  auto scriptedWithBody = withBody([scripted](const httplib::Request& request, const std::string&,
                                              httplib::Response& response) { scripted(request, response); });
  // Requests that carry a body reach the routes that read it; the others (a DELETE without one)
  // the plain ones.
  server_->Get(".*", scripted);
  server_->Post(".*", scriptedWithBody);
  server_->Put(".*", scriptedWithBody);
  server_->Patch(".*", scriptedWithBody);
  server_->Delete(".*", scriptedWithBody);
  server_->Delete(".*", scripted);
  runLoop();
}

void LocalHttpServer::runLoop() {
  // The socket already listens (bind_to_any_port), so clients may connect before the loop runs.
  listener_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() only ends a loop that runs, so the destructor must not come before the loop has started.
  while (!server_->is_running()) std::this_thread::yield();
}

void LocalHttpServer::script(const std::string& method, const std::string& path,
                             std::vector<ScriptedReply> replies) {
  std::lock_guard lock(mutex_);
  scripts_[{method, path}] = Script{std::move(replies), 0};
}

void LocalHttpServer::answerScripted(const httplib::Request& request, httplib::Response& response) {
  std::optional<ScriptedReply> reply;
  {
    std::lock_guard lock(mutex_);
    auto found = scripts_.find({request.method, request.path});
    if (found != scripts_.end() && !found->second.replies.empty()) {
      Script& script = found->second;
      reply = script.replies[std::min(script.served, script.replies.size() - 1)];
      ++script.served;
    }
  }
  if (!reply) {
    response.status = 404;
    return;
  }
  respond(*reply, response);
}

void LocalHttpServer::respond(const ScriptedReply& reply, httplib::Response& response) {
  if (reply.delay.count() > 0) std::this_thread::sleep_for(reply.delay);
  response.status = reply.status;
  for (const auto& [name, value] : reply.headers) response.set_header(name, value);
  if (reply.generatedBodyBytes) {
    response.set_content_provider(*reply.generatedBodyBytes, reply.contentType,
                                  [fill = std::string(64 * 1024, reply.generatedFill)](
                                      std::size_t, std::size_t length, httplib::DataSink& sink) {
                                    return sink.write(fill.data(), std::min(length, fill.size()));
                                  });
    return;
  }
  if (!reply.cutAfterBytes) {
    response.set_content(reply.body, reply.contentType);
    return;
  }
  // Announced at full length; the provider stops after the cut, which drops the connection.
  response.set_content_provider(reply.body.size(), reply.contentType,
                                [body = reply.body, cut = *reply.cutAfterBytes](
                                    std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                  if (offset >= cut) return false;
                                  sink.write(body.data() + offset, std::min(length, cut - offset));
                                  return true;
                                });
}

std::string LocalHttpServer::baseURL() const {
  return std::string(scheme_ == Scheme::Https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<RecordedRequest> LocalHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> LocalHttpServer::requests(const std::string& path) const {
  std::vector<RecordedRequest> matching;
  for (auto& request : requests()) {
    if (request.path == path) matching.push_back(std::move(request));
  }
  return matching;
}

}  // namespace platform::testing

#if defined(VELLORAN_THREAD_SANITIZER)
// The HTTP library is not built for the thread checker, so the checker sees only the memory calls
// the library makes (memcpy, memcmp, new) and none of its own synchronisation: two of its workers
// taking their first requests at once look like a race. Those calls made from inside the library are
// left out; the routes its workers call are our code, built for the checker, and still checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
#endif
