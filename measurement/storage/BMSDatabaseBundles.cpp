// Bundle messages in the upload queue: compressed on the way in, inflated and decoded on the way out.
#include <algorithm>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSDatabaseSupport.h"
#include "sdk-utilities/gzip/CVUGzip.h"

namespace beacon {

using storage::databaseError;
using storage::DatabaseErrorCode;

platform::Result<std::int64_t> BMSDatabase::insertBundle(const BMSPBMeasurementBundle& bundle,
                                                         bool isRealtime) {
  const std::optional<platform::Bytes> encoded = bundle.protoBuffer();
  if (!encoded) return databaseError(DatabaseErrorCode::InvalidRow, "Failed to encode bundle");
  platform::Error gzipError;
  // Compressed only to take less room in the file until it is sent (the upload compresses its body
  // again): the fastest level, as a bundle of large events would otherwise spend most of its
  // bundling time here.
  const std::optional<platform::Bytes> compressed =
      CVUGzip::cvu_dataByGzippingData(*encoded, &gzipError, CVUGzipLevel::kFastest);
  if (!compressed)
    return databaseError(DatabaseErrorCode::InvalidRow, "Failed to compress bundle", gzipError);
  const double endSeconds =
      static_cast<double>(NANOGetInt64(bundle, MeasurementBundleField::kEndTimestampMillis)) / 1000;
  return insertBundleData(*compressed, endSeconds, isRealtime);
}

platform::Result<std::vector<BMSDatabase::QueuedBundle>> BMSDatabase::queryBundlesWithCountLimit(
    std::int64_t countLimit, std::int64_t sizeLimit) {
  std::vector<QueuedBundle> bundles;
  std::int64_t totalSize = 0;
  std::int64_t after = 0;
  // Row by row: the size limit usually ends the list first, and a bundle can be large.
  while (static_cast<std::int64_t>(bundles.size()) < countLimit) {
    std::optional<std::int64_t> rowID;
    platform::Bytes compressedData;
    auto read = store_->run("SELECT rowid, data FROM queue WHERE rowid > ? ORDER BY rowid ASC LIMIT 1",
                            {after}, [&](const platform::SqliteRow& row) {
                              rowID = row.integer(0);
                              platform::SqlValue data = row.column(1);
                              if (auto* bytes = std::get_if<platform::Bytes>(&data))
                                compressedData = std::move(*bytes);
                            });
    if (!read)
      return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read queued bundles", read.error());
    if (!rowID) break;
    after = *rowID;
    highestQueueRowID_ = std::max(highestQueueRowID_, after);
    const std::optional<platform::Bytes> inflated = CVUGzip::cvu_dataByInflatingGzippedData(compressedData);
    std::optional<BMSPBMeasurementBundle> bundle =
        inflated ? BMSPBMeasurementBundle::initWithBuffer(*inflated) : std::nullopt;
    if (!bundle) {
      BMSLog(1, static_cast<std::int64_t>(DatabaseErrorCode::InvalidRow),
             "Deleting a queued bundle that cannot be decoded", {after});
      (void)deleteBundlesWithRowIDs({after});
      continue;
    }
    const auto size = static_cast<std::int64_t>(inflated->size());
    if (!bundles.empty() && totalSize + size > sizeLimit) break;
    totalSize += size;
    bundles.push_back({std::move(*bundle), after});
  }
  return bundles;
}

}  // namespace beacon
