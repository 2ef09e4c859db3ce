#pragma once
// How the persistent store gets loaded at start-up: one load; for a store that this model can no
// longer open, one reset and exactly one more load; for a store file that is damaged, the file set
// aside (kept, never destroyed) and exactly one more load, which makes a new store that the mirror
// fills again; anything else is a failure the application cannot start without. The rules live apart from the
// container so every outcome can be checked; the stack ends the process with the failure answered here.
//
// Pure logic over the two steps it is given; it runs them on the calling thread.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error/Error.h"
#include "platform/error/Result.h"

namespace velloran {

// The texts a load failure ends the process with; the failed step's error follows each.
inline constexpr std::string_view kInMemoryLoadFailedMessage = "Failed to load in-memory store: ";
inline constexpr std::string_view kLoadFailedMessage = "Failed to load CloudKit store: ";
inline constexpr std::string_view kResetFailedMessage = "Failed to reset incompatible store: ";
inline constexpr std::string_view kLoadAfterResetFailedMessage =
    "Failed to load CloudKit store after resetting local store: ";
inline constexpr std::string_view kSetAsideFailedMessage = "Failed to set aside damaged store: ";
inline constexpr std::string_view kLoadAfterSetAsideFailedMessage =
    "Failed to load CloudKit store after setting aside damaged store: ";

// A store written by an incompatible model, one that failed to migrate, or one that does not name
// its model (134100, 134110, 134130). Only the code decides, whatever the domain: the store layer is
// the only source of load errors that could carry these numbers.
bool isIncompatibleStoreError(const platform::Error& error);

// A store file the database engine finds damaged (11) or no database at all (26).
bool isDamagedStoreError(const platform::Error& error);

struct StoreLoadFailure {
  std::string_view message;  // one of the texts above
  platform::Error error;

  // The message followed by the error as text: what the process ends with.
  std::string report() const;
};

// One attempt to load the store: no value on success.
using StoreLoadAttempt = std::function<std::optional<platform::Error>()>;
// Destroys the store and its companion files.
using StoreReset = std::function<platform::Result<void>()>;
// Moves the store and its companion files out of the way; answers where the store file went, or
// none when another start of the application had set it aside already.
using StoreSetAside = std::function<platform::Result<std::optional<std::filesystem::path>>()>;

struct StoreLoadOutcome {
  // The failure to end with; none once the store is loaded.
  std::optional<StoreLoadFailure> failure;
  // Where a damaged store file was set aside, by this start, before the store loaded afresh.
  std::optional<std::filesystem::path> damagedStore;
};

StoreLoadOutcome loadRecoveringStore(const StoreLoadAttempt& load, const StoreReset& reset,
                                     const StoreSetAside& setAside);

}  // namespace velloran
