#pragma once
// The desktop's workspace: hands a URL to whatever program the desktop uses for its scheme (the
// browser for web pages, a store client for store links, ...).
//
// The process has one shared workspace. By default it is an XdgOpenWorkspace; the application
// installs its own (built on its toolkit) in main() before anything opens a URL, and tests install
// a RecordingWorkspace (platform/workspace/testing). Implementations are safe to call from any
// thread.

#include <memory>
#include <string_view>

namespace platform {

class Workspace {
 public:
  virtual ~Workspace() = default;

  // Starts opening `url`. True when it was handed to a handler; whether the handler then manages
  // to show it is beyond what the desktop reports.
  virtual bool openURL(std::string_view url) = 0;

  static std::shared_ptr<Workspace> shared();
  // nullptr puts the default back.
  static void setShared(std::shared_ptr<Workspace> workspace);
};

}  // namespace platform
