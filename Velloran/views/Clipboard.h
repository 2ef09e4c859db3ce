#pragma once
// The general clipboard, as far as the library needs it: replacing its whole contents with one
// plain text. Nothing but plain text is ever written, so what a user pastes elsewhere is exactly the
// prompt's text, never markup.
//
// The application uses QtClipboard (the desktop's clipboard through Qt); tests may hand in their
// own. Main thread only.

#include <string>

namespace velloran {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Clears the clipboard, then puts `text` on it as plain text.
  virtual void setString(const std::string& text) = 0;
};

class QtClipboard final : public Clipboard {
 public:
  void setString(const std::string& text) override;
};

}  // namespace velloran
