#pragma once
// What the window tells the user when a write to the library failed: the action that failed, then
// why, in German, so the user knows whether to free disk space, wait or look at the library file.
//  - a full disk (the engine's SQLITE_FULL, or ENOSPC behind any failure): "Der Datenträger ist voll.";
//  - the engine's other storage failures: a read-only place, a busy or locked library, a damaged
//    or unopenable library file, a read or write fault of the disk;
//  - the system's own failures (PromptError): their German description;
//  - anything else: the error's own description.
// The failure and every failure it wraps are looked at, the innermost cause that says more first.
// Pure functions, safe on any thread.

#include <string>
#include <string_view>

#include "platform/error/Error.h"

namespace velloran {

// The failed actions, as the console line and the window both start them.
inline constexpr const char* kChangeNotSavedText = "Änderung konnte nicht gespeichert werden: ";
inline constexpr const char* kPromptNotCreatedText = "Prompt konnte nicht angelegt werden: ";

// Why the write failed: one German sentence.
std::string storeFailureReason(const platform::Error& error);

// Whether the failure, or one it wraps, says the disk is full (SQLITE_FULL or ENOSPC).
bool reportsFullDisk(const platform::Error& error);

// `action` (a German text ending in ": ", such as the console line's start) followed by the reason.
std::string storeFailureMessage(std::string_view action, const platform::Error& error);

}  // namespace velloran
