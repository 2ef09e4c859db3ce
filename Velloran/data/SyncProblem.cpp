#include "Velloran/data/SyncProblem.h"

#include <string>

namespace velloran {

platform::Error makeSyncProblemError(SyncProblem problem, const platform::Error& cause) {
  platform::Error error(std::string(kSyncProblemErrorDomain), static_cast<std::int64_t>(problem),
                        cause.description);
  error.causedBy(cause);
  return error;
}

std::optional<SyncProblem> syncProblem(const platform::Error& error) {
  if (error.domain != kSyncProblemErrorDomain) return std::nullopt;
  switch (static_cast<SyncProblem>(error.code)) {
    case SyncProblem::temporarilyUnavailable:
    case SyncProblem::noAccount:
    case SyncProblem::unavailable:
    case SyncProblem::clockAhead:
      return static_cast<SyncProblem>(error.code);
  }
  return std::nullopt;
}

}  // namespace velloran
