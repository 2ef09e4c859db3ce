#pragma once
// The German text a sync failure is shown with, and the banner text built from it.
//  - a PromptError: its own description;
//  - a sync problem (SyncProblem.h; the sync layer reports the mirror's and the store's failures
//    so): "iCloud temporär nicht verfügbar" while the network or the service is away, "Kein iCloud
//    Account" without an account, "Die Uhr dieses Geräts ging vor: …" when this machine's changes
//    were stamped while its clock ran far ahead, "Sync aktuell nicht verfügbar." for any other;
//  - anything else: the error's own description.
// Pure functions, safe on any thread.

#include <string>

#include "platform/error/Error.h"

namespace velloran {

std::string syncErrorMessage(const platform::Error& error);

// "Sync-Fehler: " followed by syncErrorMessage(error): the message of every sync-failure banner.
std::string syncFailureBannerText(const platform::Error& error);

}  // namespace velloran
