#pragma once
// One step of keeping the library in step with the user's other machines, as the app sees it: the
// sync monitor (SyncMonitor.h) reports each one that has ended or failed.
//
// Steps: setting up (checking that there is somewhere to sync to), bringing in other machines'
// changes, and sending this machine's. A failed step carries its error in the app's terms: a
// SyncProblem error (SyncProblem.h) wrapping what the mirror or the store reported, or the
// failure's own error when it is neither.
//
// A plain value.

#include <optional>

#include "platform/error/Error.h"

namespace velloran {

struct SyncEvent {
  enum class Type { Setup, Import, Export };

  Type type = Type::Setup;
  bool succeeded = false;
  std::optional<platform::Error> error;

  friend bool operator==(const SyncEvent&, const SyncEvent&);
};

}  // namespace velloran
