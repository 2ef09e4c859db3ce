#include "measurement/engine/BMSAppMetadata.h"

#include <limits>

#include "measurement/engine/BMSEngineServices.h"

namespace beacon {

std::optional<BMSAppMetadata> BMSAppMetadata::initWithLastBundleIndex(std::int32_t lastBundleIndex,
                                                                      double lastBundleStartTimestamp,
                                                                      double lastBundleEndTimestamp) {
  if (lastBundleIndex < 0) {
    BMSLog(2, 4000, "Failed to create app metadata object. Received negative last bundle index.");
    return std::nullopt;
  }
  return BMSAppMetadata(lastBundleIndex, lastBundleStartTimestamp, lastBundleEndTimestamp);
}

void BMSAppMetadata::incrementLastBundleIndex() {
  if (lastBundleIndex_ == std::numeric_limits<std::int32_t>::max()) {
    lastBundleIndex_ = 0;
    BMSLog(5, 4001, "Bundle index overflow. Bundle index reset to 0.");
    return;
  }
  ++lastBundleIndex_;
}

}  // namespace beacon
