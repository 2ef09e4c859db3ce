#include "platform/workspace/testing/RecordingWorkspace.h"

namespace platform::testing {

bool RecordingWorkspace::openURL(std::string_view url) {
  std::function<void(const std::string&)> hook;
  bool answer = true;
  {
    std::lock_guard lock(mutex_);
    opened_.emplace_back(url);
    hook = onOpen_;
    answer = answer_;
  }
  if (hook) hook(std::string(url));
  return answer;
}

std::vector<std::string> RecordingWorkspace::openedURLs() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

void RecordingWorkspace::setAnswer(bool answer) {
  std::lock_guard lock(mutex_);
  answer_ = answer;
}

void RecordingWorkspace::setOnOpen(std::function<void(const std::string& url)> hook) {
  std::lock_guard lock(mutex_);
  onOpen_ = std::move(hook);
}

}  // namespace platform::testing
