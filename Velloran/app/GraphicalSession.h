#pragma once
// Whether the toolkit has a screen to open the window on: a platform named in QT_QPA_PLATFORM (the
// offscreen one, say), or an X11 or Wayland display (DISPLAY, WAYLAND_DISPLAY). Without one the
// toolkit would end the process with a message of its own; the app says why in its own language
// instead and exits with a failure.
//
// A display that is named but cannot be reached (a DISPLAY left over from a session that ended)
// is only found by the toolkit when the application object is made; it then ends the process with
// a fatal message. While an UnreachableDisplayExit exists, such a message ends the process with one
// German line naming the display and exit status 1 instead, without an abort or a core.
//
// Read anew from the process's environment on every call; safe from any thread. One
// UnreachableDisplayExit at a time, on the main thread, around making the QApplication.

#include <string>

namespace velloran {

inline constexpr const char* kNoGraphicalSessionLine =
    "Velloran braucht eine grafische Sitzung: weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.";
inline constexpr const char* kUnreachableDisplayFormat =
    "Velloran braucht eine grafische Sitzung: die Anzeige „%@“ ist nicht erreichbar.";

bool hasGraphicalSession();

// The line for the display the environment names (DISPLAY, else WAYLAND_DISPLAY, else the platform).
std::string unreachableDisplayLine();

class UnreachableDisplayExit {
 public:
  UnreachableDisplayExit();
  ~UnreachableDisplayExit();
  UnreachableDisplayExit(const UnreachableDisplayExit&) = delete;
  UnreachableDisplayExit& operator=(const UnreachableDisplayExit&) = delete;
};

}  // namespace velloran
