// Rows of the measurement database written by another program, or damaged: a database holding some
// of every kind of row (raw events with their metadata, a queued bundle, user properties, event
// aggregates, a conditional property, an audience, purchases, the counters and a stored
// configuration) is copied, every column of every table the fuzzer chooses is overwritten with a
// value of any storage class, and the copy is opened and read back through every read the engine
// makes, then cleaned up, bundled from and written to. Nothing may crash or overflow; failures are
// errors, and after them the database still takes a new event.

#include <filesystem>
#include <memory>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ScratchFolder.h"
#include "fuzz/SqliteRowDamage.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"
#include "platform/time/ManualClock.h"

using namespace beacon;
using velloran::fuzz::ByteSource;
using velloran::fuzz::check;

namespace {

constexpr double kNow = 1'700'000'000;

// The log lines of a damaged database are expected by the thousand: kept off the fuzzer's output.
class SilentLog final : public BMSLogSink {
 public:
  void logWithLevel(std::int64_t, std::int64_t, const std::string&,
                    const std::vector<platform::Value>&) override {}
};

BMSEvent sampleEvent(const std::string& name, double timestamp) {
  return BMSEvent::initWithOrigin("app", true, name, timestamp, 0,
                                  {{"text", platform::Value("Wert")}, {"count", platform::Value(3)}})
      .value();
}

void fill(BMSDatabase& database) {
  check(database.performTransaction([&] {
    BMSPBMeasurementBundle metadata;
    NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, 1);
    NANOSetString(metadata, MeasurementBundleField::kPlatform, "macos");
    const std::int64_t fingerprint = database.insertIfNotExistsRawEventMetadata(metadata).value();
    for (int i = 0; i < 3; ++i)
      (void)database.insertRawEvent(sampleEvent("level_up", kNow + i), fingerprint, i == 1);
    NANOSetInt64(metadata, MeasurementBundleField::kEndTimestampMillis,
                 static_cast<std::int64_t>(kNow * 1000));
    (void)database.insertBundle(metadata, false);
    (void)database.updateUserAttribute(
        BMSUserAttribute::initWithOrigin("app", "favorite", BMSValue::initWithStringValue("Tee"), kNow)
            .value());
    (void)database.updateUserAttribute(
        BMSUserAttribute::initWithOrigin("auto", "_fot", BMSValue::initWithInt64(1), kNow).value());
    (void)database.updateEventAggregates(BMSEventAggregates::initWithName("level_up", 3, 1, 1, kNow).value());
    BCNAConditionalUserProperty property;
    property.name = "pending";
    property.origin = "app";
    property.value = BMSValue::initWithInt64(7);
    property.triggerEventName = "level_up";
    property.creationTimestamp = kNow;
    property.triggeredEvent = sampleEvent("triggered", kNow);
    (void)database.updateConditionalUserProperty(property);
    (void)database.replaceAudiences({{1, platform::Bytes{0x08, 0x01}}});
    (void)database.insertIfNotDuplicatePurchaseFingerprint("purchase");
    (void)database.insertIfNotDuplicateSubscriptionID("subscription");
    (void)database.updateDailyCounts(BMSDailyCounts(19675, 3, 3, 0, 0, 1, 0));
    (void)database.updateStoredRemoteConfig(platform::Bytes{0x08, 0x07});
    return database.updateRemoteConfigSuccessfulTimestamp(kNow).ok();
  }),
        "the sample rows are stored");
}

// Every read the engine makes, as it makes them.
void readBack(BMSDatabase& database) {
  (void)database.dailyCounts();
  (void)database.queryAppMetadata();
  (void)database.remoteConfigSuccessfulTimestamp();
  (void)database.storedRemoteConfig();
  (void)database.eventAggregatesWithName("level_up");
  (void)database.allEventAggregates();
  (void)database.publicEventCount();
  (void)database.userAttributeWithName("favorite");
  (void)database.userAttributesIncludingInternal(true);
  (void)database.publicUserAttributeCount();
  (void)database.userAttributeCountForOrigin("app");
  (void)database.audiences();
  (void)database.conditionalUserProperties();
  (void)database.conditionalUserPropertyWithName("pending");
  (void)database.uploadDataFacts();
  (void)database.queryBundlesWithCountLimit(100, 1 << 20);
  database.performTransaction([&] {
    auto next = database.nextMetadataFingerprintToProcess();
    if (!next || !*next) return false;
    (void)database.queryRawEventsMetadataWithFingerprint(**next);
    auto rows = database.rawEventsWithMetadataFingerprint(**next);
    if (!rows || rows->empty()) return false;
    for (const BMSRawEventData& row : *rows) (void)row.rawEvent().protoEvent().protoBuffer();
    return database.deleteRawEventsWithMaxRowID(rows->back().rowID()).ok();
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool silenced = [] {
    BMSEngineServices::setLogSink(std::make_shared<SilentLog>());
    return true;
  }();
  (void)silenced;
  static const auto clock = [] {
    auto manual = std::make_shared<platform::ManualClock>();
    manual->setNow(platform::Date::fromUnixSeconds(kNow));
    return manual;
  }();
  static const velloran::fuzz::ScratchFolder pristineFolder;
  static const std::filesystem::path pristine = [] {
    const std::filesystem::path path = pristineFolder.path() / kBMSMeasurementDatabaseName;
    auto database = BMSDatabase::openAtPath(path, clock);
    check(database.ok(), "a new database opens");
    fill(**database);
    return path;
  }();
  static const velloran::fuzz::ScratchFolder work;
  work.empty();
  const std::filesystem::path path = work.path() / kBMSMeasurementDatabaseName;
  std::filesystem::copy_file(pristine, path);
  ByteSource source(data, size);
  velloran::fuzz::damageRows(path, source);

  auto opened = BMSDatabase::openAtPath(path, clock);
  if (!opened) return 0;
  BMSDatabase& database = **opened;
  readBack(database);
  (void)database.maybeDeleteStaleData();
  (void)database.deleteRawEventsOverAbsoluteLimit();
  const bool stored = database.performTransaction([&] {
    BMSPBMeasurementBundle metadata;
    NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, 1);
    auto fingerprint = database.insertIfNotExistsRawEventMetadata(metadata);
    return fingerprint && database.insertRawEvent(sampleEvent("after", kNow + 10), *fingerprint, false).ok();
  });
  check(stored, "a damaged database still takes a new event");
  return 0;
}
