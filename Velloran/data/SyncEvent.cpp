#include "Velloran/data/SyncEvent.h"

namespace velloran {

bool operator==(const SyncEvent& left, const SyncEvent& right) {
  const auto sameError = [](const std::optional<platform::Error>& x,
                            const std::optional<platform::Error>& y) {
    if (!x || !y) return !x && !y;
    return x->is(y->domain, y->code) && x->description == y->description;
  };
  return left.type == right.type && left.succeeded == right.succeeded && sameError(left.error, right.error);
}

}  // namespace velloran
