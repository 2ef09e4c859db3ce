// Bundle messages in the upload queue: compressed on the way in, inflated and decoded on the way out.
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
  const std::optional<platform::Bytes> compressed = CVUGzip::cvu_dataByGzippingData(*encoded, &gzipError);
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
  while (static_cast<std::int64_t>(bundles.size()) < countLimit) {
    struct Row {
      std::int64_t rowID;
      platform::Bytes compressedData;
    };
    std::vector<Row> rows;
    auto read = store_->run("SELECT rowid, data FROM queue WHERE rowid > ? ORDER BY rowid ASC LIMIT ?",
                            {after, countLimit - static_cast<std::int64_t>(bundles.size())},
                            [&](const platform::SqliteRow& row) {
                              Row queued{row.integer(0), {}};
                              platform::SqlValue data = row.column(1);
                              if (auto* bytes = std::get_if<platform::Bytes>(&data)) {
                                queued.compressedData = std::move(*bytes);
                              }
                              rows.push_back(std::move(queued));
                            });
    if (!read)
      return databaseError(DatabaseErrorCode::ReadFailed, "Failed to read queued bundles", read.error());
    if (rows.empty()) break;
    for (Row& row : rows) {
      after = row.rowID;
      const std::optional<platform::Bytes> inflated =
          CVUGzip::cvu_dataByInflatingGzippedData(row.compressedData);
      std::optional<BMSPBMeasurementBundle> bundle =
          inflated ? BMSPBMeasurementBundle::initWithBuffer(*inflated) : std::nullopt;
      if (!bundle) {
        BMSLog(1, static_cast<std::int64_t>(DatabaseErrorCode::InvalidRow),
               "Deleting a queued bundle that cannot be decoded", {row.rowID});
        (void)deleteBundlesWithRowIDs({row.rowID});
        continue;
      }
      const auto size = static_cast<std::int64_t>(inflated->size());
      if (!bundles.empty() && totalSize + size > sizeLimit) return bundles;
      totalSize += size;
      bundles.push_back({std::move(*bundle), row.rowID});
      if (static_cast<std::int64_t>(bundles.size()) == countLimit) break;
    }
  }
  return bundles;
}

}  // namespace beacon
