#include "platform/syslog/SystemLogCapture.h"

#include <mutex>

namespace platform {
namespace {

// Guards which capture is in force and the lines of every capture.
std::mutex& captureMutex() {
  static std::mutex mutex;
  return mutex;
}

SystemLogCapture* currentCapture = nullptr;

}  // namespace

SystemLogCapture::SystemLogCapture() {
  std::lock_guard lock(captureMutex());
  previous_ = currentCapture;
  currentCapture = this;
}

SystemLogCapture::~SystemLogCapture() {
  std::lock_guard lock(captureMutex());
  currentCapture = previous_;
}

std::vector<CapturedLogLine> SystemLogCapture::lines() const {
  std::lock_guard lock(captureMutex());
  return lines_;
}

bool SystemLogCapture::offer(const CapturedLogLine& line) {
  std::lock_guard lock(captureMutex());
  if (currentCapture == nullptr) return false;
  currentCapture->lines_.push_back(line);
  return true;
}

}  // namespace platform
