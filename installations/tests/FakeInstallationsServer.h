#pragma once
// A fake installations service on 127.0.0.1 that speaks register, generate-token and delete the way
// the real one does, keeps the installations it registered, and answers with scripted faults when a
// test queues them. Every request is recorded by the underlying server.

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/json/Json.h"
#include "platform/net/testing/LocalHttpServer.h"

namespace beacon::testing {

class FakeInstallationsServer {
 public:
  enum class Route { Register, GenerateToken, Delete };

  struct Fault {
    int status = 500;
    std::string body = "{\"error\":{\"code\":500}}";
    std::string contentType = "application/json";
  };

  FakeInstallationsServer() {
    server_.route("POST", R"(/v1/projects/([^/]+)/installations/)",
                  [this](const httplib::Request& request, const std::string& body,
                         httplib::Response& response) { answerRegister(request, body, response); });
    server_.route("POST", R"(/v1/projects/([^/]+)/installations/([^/]+)/authTokens:generate)",
                  [this](const httplib::Request& request, const std::string&, httplib::Response& response) {
                    answerToken(request, response);
                  });
    server_.route("DELETE", R"(/v1/projects/([^/]+)/installations/([^/]+)/)",
                  [this](const httplib::Request& request, const std::string&, httplib::Response& response) {
                    answerDelete(request, response);
                  });
    server_.start();
  }

  std::string origin() const { return server_.baseURL(); }
  std::vector<platform::testing::RecordedRequest> requests() const { return server_.requests(); }

  // The next answers of a route, before it answers normally again; the last one repeats while
  // `repeatLast` holds.
  void queueFaults(Route route, std::deque<Fault> faults, bool repeatLast = false) {
    std::lock_guard guard(mutex_);
    faults_[route] = std::move(faults);
    repeatLast_[route] = repeatLast;
  }
  // The installation ID the service hands out instead of the one sent.
  void chooseInstallationID(std::string bid) {
    std::lock_guard guard(mutex_);
    serverChosenID_ = std::move(bid);
  }
  // Every answer of the route waits this long first (on the server's thread).
  void delayAnswers(Route route, std::chrono::milliseconds delay) {
    std::lock_guard guard(mutex_);
    delays_[route] = delay;
  }
  void setTokenLifetime(std::string expiresIn) {
    std::lock_guard guard(mutex_);
    expiresIn_ = std::move(expiresIn);
  }
  bool knows(const std::string& bid) const {
    std::lock_guard guard(mutex_);
    return refreshTokens_.count(bid) > 0;
  }

 private:
  // A queued fault for the route, if any: answered and true. Waits the route's delay first.
  bool answerFault(Route route, httplib::Response& response) {
    std::chrono::milliseconds delay{0};
    {
      std::lock_guard guard(mutex_);
      delay = delays_[route];
    }
    std::this_thread::sleep_for(delay);
    std::lock_guard guard(mutex_);
    std::deque<Fault>& faults = faults_[route];
    if (faults.empty()) return false;
    Fault fault = faults.front();
    if (faults.size() > 1 || !repeatLast_[route]) faults.pop_front();
    response.status = fault.status;
    response.set_content(fault.body, fault.contentType);
    return true;
  }

  static void refuse(httplib::Response& response, int status) {
    response.status = status;
    response.set_content("{\"error\":{\"code\":" + std::to_string(status) + "}}", "application/json");
  }

  void answerRegister(const httplib::Request& request, const std::string& sent, httplib::Response& response) {
    if (answerFault(Route::Register, response)) return;
    platform::Result<platform::Value> body = platform::parseJson(sent);
    const platform::Value* bid = body ? body->find("bid") : nullptr;
    bool wellFormed = body && bid && bid->asString() && body->find("authVersion") &&
                      *body->find("authVersion") == platform::Value("BIS_v2") && body->find("appId") &&
                      request.get_header_value("X-Corv-Api-Key") != "" &&
                      request.get_header_value("Content-Type") == "application/json";
    if (!wellFormed) return refuse(response, 400);
    std::lock_guard guard(mutex_);
    std::string installationID = serverChosenID_.value_or(*bid->asString());
    std::string refreshToken = "rt-" + std::to_string(++issued_);
    refreshTokens_[installationID] = refreshToken;
    platform::Dictionary reply{
        {"name", "projects/" + request.matches[1].str() + "/installations/" + installationID},
        {"bid", installationID},
        {"refreshToken", refreshToken},
        {"authToken",
         platform::Dictionary{{"token", "token-" + std::to_string(issued_)}, {"expiresIn", expiresIn_}}}};
    response.set_content(*platform::writeJson(reply), "application/json");
  }

  // 404 for an installation it does not know, 401 for a wrong refresh token; true when authorised.
  bool authorised(const httplib::Request& request, httplib::Response& response) {
    std::lock_guard guard(mutex_);
    auto known = refreshTokens_.find(request.matches[2].str());
    if (known == refreshTokens_.end()) {
      refuse(response, 404);
      return false;
    }
    if (request.get_header_value("Authorization") != "BIS_v2 " + known->second) {
      refuse(response, 401);
      return false;
    }
    return true;
  }

  void answerToken(const httplib::Request& request, httplib::Response& response) {
    if (answerFault(Route::GenerateToken, response) || !authorised(request, response)) return;
    std::lock_guard guard(mutex_);
    platform::Dictionary reply{{"token", "token-" + std::to_string(++issued_)}, {"expiresIn", "3600s"}};
    response.set_content(*platform::writeJson(reply), "application/json");
  }

  void answerDelete(const httplib::Request& request, httplib::Response& response) {
    if (answerFault(Route::Delete, response) || !authorised(request, response)) return;
    std::lock_guard guard(mutex_);
    refreshTokens_.erase(request.matches[2].str());
    response.set_content("{}", "application/json");
  }

  mutable std::mutex mutex_;
  std::map<Route, std::deque<Fault>> faults_;
  std::map<Route, bool> repeatLast_;
  std::map<Route, std::chrono::milliseconds> delays_;
  std::optional<std::string> serverChosenID_;
  std::string expiresIn_ = "604800s";
  std::map<std::string, std::string> refreshTokens_;
  int issued_ = 0;
  // Last, so that it stops first: a request still being answered uses everything above.
  platform::testing::LocalHttpServer server_;
};

}  // namespace beacon::testing
