#pragma once
// The German text a sync failure is shown with, and the banner text built from it.
//  - a PromptError: its own description;
//  - a sync problem (SyncProblem.h; the sync layer reports the mirror's and the store's failures
//    so): "iCloud temporär nicht verfügbar" while the network or the service is away, "Kein iCloud
//    Account" without an account, "Sync aktuell nicht verfügbar." for any other;
//  - anything else: the error's own description.
// Pure functions, safe on any thread.

#include <string>

#include "platform/error/Error.h"

namespace velloran {

std::string syncErrorMessage(const platform::Error& error);

// "Sync-Fehler: " followed by syncErrorMessage(error): the message of every sync-failure banner.
std::string syncFailureBannerText(const platform::Error& error);

// What the library shows after a damaged library file was set aside at start-up (`keptAt`, its new
// place) and a new one is being filled from the sync folder.
std::string damagedStoreBannerText(const std::string& keptAt);

}  // namespace velloran
