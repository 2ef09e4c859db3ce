#pragma once
// The bundle fields that chain upload bundles together: the previous bundle's start and end, and
// the running bundle index, kept in the database's app metadata row. Worker queue, inside the
// bundling transaction.

#include "measurement/messages/NANOMessage.h"
#include "measurement/storage/BMSDatabase.h"

namespace beacon {

// Writes fields 6, 7 and 24 from the stored row and moves the row on to this bundle (seconds since
// 1970). False (logged) when the row cannot be read or written.
bool BMSUpdateAppMetadataForBundle(BMSDatabase& database, BMSPBMeasurementBundle& bundle,
                                   double bundleStartTimestamp, double bundleEndTimestamp);

}  // namespace beacon
