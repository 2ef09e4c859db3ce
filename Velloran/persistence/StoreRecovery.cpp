#include "Velloran/persistence/StoreRecovery.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/pstore/PersistentStoreError.h"

namespace velloran {

bool isIncompatibleStoreError(const platform::Error& error) {
  static constexpr std::array<std::int64_t, 3> kIncompatibleCodes{134100, 134110, 134130};
  return std::ranges::find(kIncompatibleCodes, error.code) != kIncompatibleCodes.end();
}

std::string StoreLoadFailure::report() const {
  return std::string(message) + error.debugDescription();
}

bool isDamagedStoreError(const platform::Error& error) {
  return error.domain == platform::kSQLiteErrorDomain && (error.code == 11 || error.code == 26);
}

StoreLoadOutcome loadRecoveringStore(const StoreLoadAttempt& load, const StoreReset& reset,
                                     const StoreSetAside& setAside) {
  std::optional<platform::Error> failure = load();
  if (!failure) return {};
  if (isDamagedStoreError(*failure)) {
    // Kept for whoever wants to look at it or save from it; the mirror fills the new store.
    platform::Result<std::optional<std::filesystem::path>> keptAt = setAside();
    if (!keptAt) return {StoreLoadFailure{kSetAsideFailedMessage, keptAt.error()}, std::nullopt};
    if (std::optional<platform::Error> again = load()) {
      return {StoreLoadFailure{kLoadAfterSetAsideFailedMessage, std::move(*again)}, std::nullopt};
    }
    return {std::nullopt, *keptAt};
  }
  if (!isIncompatibleStoreError(*failure)) {
    return {StoreLoadFailure{kLoadFailedMessage, std::move(*failure)}, std::nullopt};
  }

  // The local copy is given up: with mirroring on, the new store is filled again from the cloud.
  if (platform::Result<void> destroyed = reset(); !destroyed) {
    return {StoreLoadFailure{kResetFailedMessage, destroyed.error()}, std::nullopt};
  }
  if (std::optional<platform::Error> again = load()) {
    return {StoreLoadFailure{kLoadAfterResetFailedMessage, std::move(*again)}, std::nullopt};
  }
  return {};
}

}  // namespace velloran
