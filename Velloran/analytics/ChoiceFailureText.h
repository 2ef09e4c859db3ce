#pragma once
// What the window tells the user when a choice of theirs (the analytics consent) could not be
// stored in the preferences: the failed action, then why, in German, so the user knows the choice
// holds only until the app quits and whether to free disk space or look at the folder's rights.
//  - a full disk: "Der Datenträger ist voll.";
//  - a read-only place: "Der Einstellungsordner ist schreibgeschützt.";
//  - missing rights: "Keine Berechtigung, in den Einstellungsordner zu schreiben.";
//  - anything else: "Der Einstellungsordner lässt sich nicht beschreiben."
// The system's reason is looked for in the failure and every failure it wraps. A pure function.

#include <string>

#include "platform/error/Error.h"

namespace velloran {

// The failed action, as the console line and the window both start it.
inline constexpr const char* kChoiceNotSavedText = "Auswahl konnte nicht gespeichert werden: ";

// kChoiceNotSavedText followed by the reason and that the choice holds until the app quits.
std::string choiceNotSavedMessage(const platform::Error& error);

}  // namespace velloran
