#pragma once
// Test double of Workspace: opens nothing, records every URL it is handed, in order, and answers
// with a value the test chooses (true by default). A hook, when set, runs inside openURL, so a test
// can look at the state of the code under test at the very moment of opening. Thread-safe.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/workspace/Workspace.h"

namespace platform::testing {

class RecordingWorkspace final : public Workspace {
 public:
  bool openURL(std::string_view url) override;

  std::vector<std::string> openedURLs() const;
  void setAnswer(bool answer);
  void setOnOpen(std::function<void(const std::string& url)> hook);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> opened_;
  bool answer_ = true;
  std::function<void(const std::string&)> onOpen_;
};

}  // namespace platform::testing
