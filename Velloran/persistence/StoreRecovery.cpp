#include "Velloran/persistence/StoreRecovery.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace velloran {

bool isIncompatibleStoreError(const platform::Error& error) {
  static constexpr std::array<std::int64_t, 3> kIncompatibleCodes{134100, 134110, 134130};
  return std::ranges::find(kIncompatibleCodes, error.code) != kIncompatibleCodes.end();
}

std::string StoreLoadFailure::report() const {
  return std::string(message) + error.debugDescription();
}

std::optional<StoreLoadFailure> loadRecoveringIncompatibleStore(const StoreLoadAttempt& load,
                                                                const StoreReset& reset) {
  std::optional<platform::Error> failure = load();
  if (!failure) return std::nullopt;
  if (!isIncompatibleStoreError(*failure)) return StoreLoadFailure{kLoadFailedMessage, std::move(*failure)};

  // The local copy is given up: with mirroring on, the new store is filled again from the cloud.
  if (platform::Result<void> destroyed = reset(); !destroyed) {
    return StoreLoadFailure{kResetFailedMessage, destroyed.error()};
  }
  if (std::optional<platform::Error> again = load()) {
    return StoreLoadFailure{kLoadAfterResetFailedMessage, std::move(*again)};
  }
  return std::nullopt;
}

}  // namespace velloran
