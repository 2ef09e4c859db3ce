#pragma once
// Why syncing failed, in the app's own terms: the sync layer turns the mirror's and the store's
// failures into these (Velloran/sync/SyncErrorMapping.h), and the sync banner chooses its text by
// them, so nothing above the sync layer needs to know the mirror's or the store's error codes.
//  - temporarilyUnavailable: the network or the service is away for now;
//  - noAccount: there is no account to sync with;
//  - clockAhead: this machine's clock ran far ahead when it stamped its changes, so other
//    machines take them only once their own clocks come that far;
//  - unavailable: any other failure of the mirror or the store.
//
// As an error: domain kSyncProblemErrorDomain, the case as its code, the original failure's
// description, and the original failure as its cause. Pure functions, safe on any thread.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/error/Error.h"

namespace velloran {

enum class SyncProblem : std::int64_t { temporarilyUnavailable, noAccount, unavailable, clockAhead };

inline constexpr std::string_view kSyncProblemErrorDomain = "Velloran.SyncProblem";

platform::Error makeSyncProblemError(SyncProblem problem, const platform::Error& cause);

// The problem an error names; nullopt for an error of another domain or an unknown code.
std::optional<SyncProblem> syncProblem(const platform::Error& error);

}  // namespace velloran
