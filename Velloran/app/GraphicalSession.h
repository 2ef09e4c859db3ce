#pragma once
// Whether the toolkit has a screen to open the window on: a platform named in QT_QPA_PLATFORM (the
// offscreen one, say), or an X11 or Wayland display (DISPLAY, WAYLAND_DISPLAY). Without one the
// toolkit would end the process with a message of its own; the app says why in its own language
// instead and exits with a failure.
//
// Read anew from the process's environment on every call; safe from any thread.

namespace velloran {

inline constexpr const char* kNoGraphicalSessionLine =
    "Velloran braucht eine grafische Sitzung: weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt.";

bool hasGraphicalSession();

}  // namespace velloran
