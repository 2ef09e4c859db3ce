// What the upload schedule asks of the raw events and the upload queue. It asks after every stored
// event, so the answers are kept between its questions instead of taking the file's read lock for
// six reads each time.
#include <algorithm>

#include "measurement/storage/BMSDatabase.h"

namespace beacon {

BMSDatabase::UploadDataFacts BMSDatabase::uploadDataFacts() {
  if (keptUploadDataFacts_) {
    if (auto stamp = readStamp(); stamp && *stamp == keptUploadDataFacts_->stamp)
      return keptUploadDataFacts_->facts;
  }
  keptUploadDataFacts_.reset();
  UploadDataFacts facts;
  // Stamped before the reads: a commit of another connection during them only has them read again.
  platform::Result<ReadStamp> stamp = ReadStamp{};
  store_->performReads([&] {
    stamp = readStamp();
    facts.queueEmpty = isQueuedBundleTableEmpty();
    facts.latestBundleTime = queryLatestBundleTime();
    facts.realtimeBundles = containsRealtimeBundles();
    facts.rawEventsEmpty = isRawEventsTableEmpty();
    facts.latestRawEventTime = queryLatestRawEventTime();
    facts.realtimeRawEvents = containsRealtimeRawEvents();
  });
  if (stamp && facts.queueEmpty && facts.latestBundleTime && facts.realtimeBundles && facts.rawEventsEmpty &&
      facts.latestRawEventTime && facts.realtimeRawEvents) {
    keptUploadDataFacts_ = KeptUploadDataFacts{facts, *stamp};
  }
  return facts;
}

void BMSDatabase::keepStoredRawEventInUploadDataFacts(std::int64_t timestampMilliseconds, bool isRealtime) {
  if (!keptUploadDataFacts_) return;
  UploadDataFacts& facts = keptUploadDataFacts_->facts;
  // As the table's newest time in seconds reads.
  const double seconds = static_cast<double>(timestampMilliseconds) / 1000;
  facts.latestRawEventTime = *facts.rawEventsEmpty ? seconds : std::max(*facts.latestRawEventTime, seconds);
  facts.rawEventsEmpty = false;
  if (isRealtime) facts.realtimeRawEvents = true;
}

}  // namespace beacon
