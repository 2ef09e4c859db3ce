#include "measurement/upload/testing/BMSCollectorFake.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "measurement/messages/NANOAccessors.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon::testing {

BMSCollectorFake::BMSCollectorFake() {
  server_.server().Get(R"(/config/app/.*)",
                       [this](const httplib::Request& request, httplib::Response& response) {
                         answerConfiguration(request, response);
                       });
  server_.route("POST", "/a",
                [this](const httplib::Request&, const std::string& body, httplib::Response& response) {
                  answerUpload(body, response);
                });
  server_.start();
}

BMSCollectorFake::~BMSCollectorFake() {
  std::lock_guard lock(mutex_);
  closing_ = true;
  changed_.notify_all();
}

void BMSCollectorFake::answerConfiguration(const httplib::Request& request, httplib::Response& response) {
  std::unique_lock lock(mutex_);
  if (configurationReply_) {
    const platform::testing::ScriptedReply reply = *configurationReply_;
    lock.unlock();
    return platform::testing::LocalHttpServer::respond(reply, response);
  }
  if (!configuration_) {
    response.status = 404;
    return;
  }
  response.set_header("ETag", etag_);
  if (!lastModified_.empty()) response.set_header("Last-Modified", lastModified_);
  if (request.get_header_value("If-None-Match") == etag_) {
    response.status = 304;
    return;
  }
  response.status = 200;
  response.set_content(std::string(configuration_->begin(), configuration_->end()), "application/x-protobuf");
}

void BMSCollectorFake::answerUpload(const std::string& body, httplib::Response& response) {
  std::unique_lock lock(mutex_);
  BMSCollectedBatch received;
  received.body.assign(body.begin(), body.end());
  received.batch = BMSPBMeasurementBatch::initWithBuffer(received.body);
  batches_.push_back(std::move(received));
  const std::size_t index = batches_.size() - 1;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !holding_ || closing_; });
  if (uploadReply_) {
    const platform::testing::ScriptedReply reply = *uploadReply_;
    batches_[index].status = reply.status;
    changed_.notify_all();
    lock.unlock();
    return platform::testing::LocalHttpServer::respond(reply, response);
  }
  const int status = statuses_[std::min(answered_, statuses_.size() - 1)];
  ++answered_;
  batches_[index].status = status;
  response.status = status;
  changed_.notify_all();
}

void BMSCollectorFake::answerConfigurationWith(std::optional<platform::testing::ScriptedReply> reply) {
  std::lock_guard lock(mutex_);
  configurationReply_ = std::move(reply);
}

void BMSCollectorFake::answerUploadsWith(std::optional<platform::testing::ScriptedReply> reply) {
  std::lock_guard lock(mutex_);
  uploadReply_ = std::move(reply);
}

void BMSCollectorFake::setConfiguration(platform::Bytes document, std::string etag,
                                        std::string lastModified) {
  std::lock_guard lock(mutex_);
  configuration_ = std::move(document);
  etag_ = std::move(etag);
  lastModified_ = std::move(lastModified);
}

void BMSCollectorFake::setUploadStatuses(std::vector<int> statuses) {
  if (statuses.empty()) throw std::invalid_argument("BMSCollectorFake: at least one status");
  std::lock_guard lock(mutex_);
  statuses_ = std::move(statuses);
  answered_ = 0;
}

void BMSCollectorFake::holdUploads() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

void BMSCollectorFake::releaseUploads() {
  std::lock_guard lock(mutex_);
  holding_ = false;
  changed_.notify_all();
}

std::vector<BMSCollectedBatch> BMSCollectorFake::batches() const {
  std::lock_guard lock(mutex_);
  return batches_;
}

std::vector<std::string> BMSCollectorFake::acceptedEventNames() const {
  std::vector<std::string> names;
  for (const BMSCollectedBatch& received : batches()) {
    if (received.status < 200 || received.status >= 300 || !received.batch) continue;
    for (const auto& bundle :
         NANOGetArray<BMSPBMeasurementBundle>(*received.batch, MeasurementBatchField::kBundles))
      for (const auto& event : NANOGetArray<BMSPBEvent>(bundle, MeasurementBundleField::kEvents))
        names.push_back(NANOGetString(event, EventField::kName).value_or(""));
  }
  return names;
}

std::size_t BMSCollectorFake::uploadCount() const {
  std::lock_guard lock(mutex_);
  return batches_.size();
}

std::vector<platform::testing::RecordedRequest> BMSCollectorFake::configurationRequests() const {
  std::vector<platform::testing::RecordedRequest> found;
  for (auto& request : server_.requests())
    if (request.method == "GET" && request.path.starts_with("/config/app/"))
      found.push_back(std::move(request));
  return found;
}

bool BMSCollectorFake::waitForUploads(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return batches_.size() >= count; });
}

std::string BMSCollectorFake::decodeRaw(const platform::Bytes& message) {
  platform::testing::TemporaryDirectory folder;
  const std::filesystem::path input = folder.path() / "message.bin";
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(message.data()), static_cast<std::streamsize>(message.size()));
  const std::string command = "protoc --decode_raw < '" + input.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  std::string text;
  char chunk[4096];
  while (std::size_t read = std::fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, read);
  const int status = pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : std::string();
}

}  // namespace beacon::testing
