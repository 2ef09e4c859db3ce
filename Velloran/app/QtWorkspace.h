#pragma once
// The application's workspace: hands each URL to the desktop through Qt, which asks the desktop for
// the handler the user chose for the URL's scheme.
//
// Text that does not parse as a URL with a scheme is refused before the desktop sees it. A call from
// another thread is carried over to the main thread and counts as handed over once it is queued;
// a call on the main thread answers what the desktop said.

#include "platform/workspace/Workspace.h"

namespace velloran {

class QtWorkspace final : public platform::Workspace {
 public:
  bool openURL(std::string_view url) override;
};

}  // namespace velloran
