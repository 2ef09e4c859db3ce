#pragma once
// The German text a sync failure is shown with, and the banner text built from it.
//  - a PromptError: its own description;
//  - the mirror's failures (platform/mirror/CloudMirrorError.h): "iCloud temporär nicht verfügbar"
//    while the network or the service is away (codes 3, 4, 6), "Kein iCloud Account" without an
//    account (9), "Sync aktuell nicht verfügbar." for any other code;
//  - the store's failures (persistent-store and database domains): "Sync aktuell nicht verfügbar.";
//  - anything else: the error's own description.
// Pure functions, safe on any thread.

#include <string>

#include "platform/error/Error.h"

namespace velloran {

std::string syncErrorMessage(const platform::Error& error);

// "Sync-Fehler: " followed by syncErrorMessage(error): the message of every sync-failure banner.
std::string syncFailureBannerText(const platform::Error& error);

}  // namespace velloran
