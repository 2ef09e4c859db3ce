#pragma once
// The workspace of a freedesktop desktop: each URL is handed to an opener program ("xdg-open",
// found on PATH), which picks the handler the user configured for the URL's scheme.
//
// The URL reaches the opener as one argument of a directly started process, never through a shell,
// so no character in it can run a command. Text that does not begin with a scheme ("letters:"), or
// that holds control characters, is refused before anything starts, so it can never pass as an
// option of the opener. The opener runs detached; it is waited for on a background queue, so it
// never lingers as a zombie. Thread-safe.

#include <string>
#include <string_view>

#include "platform/workspace/Workspace.h"

namespace platform {

class XdgOpenWorkspace final : public Workspace {
 public:
  // `opener`: a program name looked up on PATH, or a path to the program.
  explicit XdgOpenWorkspace(std::string opener = "xdg-open");

  // True when the opener was started; false when the text was refused or no opener could be started
  // (none installed, say).
  bool openURL(std::string_view url) override;

 private:
  const std::string opener_;
};

}  // namespace platform
