#include "Velloran/viewmodels/SyncBanner.h"

#include "platform/text/Normalization.h"

namespace velloran {

bool operator==(const SyncBanner& a, const SyncBanner& b) {
  return a.isError == b.isError && platform::canonicallyEqual(a.message, b.message);
}

}  // namespace velloran
