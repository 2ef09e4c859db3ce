#include "measurement/pipeline/BMSBundleAppMetadata.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/value/Value.h"

namespace beacon {
namespace {

std::int64_t milliseconds(double seconds) {
  return platform::saturatingInteger(seconds * 1000.0);
}

}  // namespace

bool BMSUpdateAppMetadataForBundle(BMSDatabase& database, BMSPBMeasurementBundle& bundle,
                                   double bundleStartTimestamp, double bundleEndTimestamp) {
  namespace B = MeasurementBundleField;
  auto metadata = database.queryAppMetadata();
  if (!metadata) {
    BMSLog(1, 23111, "Unable to fetch app metadata for bundling events. Error",
           {BMSContextFromError(metadata.error())});
    return false;
  }
  const double previousStart = metadata->lastBundleStartTimestamp();
  const double previousEnd = metadata->lastBundleEndTimestamp();
  if (previousEnd > 0) NANOSetInt64(bundle, B::kPreviousEndTimestampMillis, milliseconds(previousEnd));
  if (previousStart > 0)
    NANOSetInt64(bundle, B::kPreviousStartTimestampMillis, milliseconds(previousStart));
  else if (previousEnd > 0)
    NANOSetInt64(bundle, B::kPreviousStartTimestampMillis, milliseconds(previousEnd));

  metadata->incrementLastBundleIndex();
  metadata->setLastBundleStartTimestamp(bundleStartTimestamp);
  metadata->setLastBundleEndTimestamp(bundleEndTimestamp);
  NANOSetInt32(bundle, B::kBundleIndex, metadata->lastBundleIndex());
  if (auto written = database.updateAppMetadata(*metadata); !written) {
    BMSLog(1, 23112, "Unable to update the app metadata. Error", {BMSContextFromError(written.error())});
    return false;
  }
  return true;
}

}  // namespace beacon
