// A bundle takes consecutive rows of one hour within the count and size limits; the first row always.

#include "measurement/pipeline/BMSRawEventSelection.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class RawEventSelectionTest : public ::testing::Test {
 protected:
  std::int64_t fingerprintFor(std::int32_t version) {
    BMSPBMeasurementBundle metadata;
    NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, version);
    return database->insertIfNotExistsRawEventMetadata(metadata).value();
  }
  void store(double timestamp, std::int64_t fingerprint, std::string text = "x") {
    auto event = BMSEvent::initWithOrigin("app", true, "level_up", timestamp, 0,
                                          {{"text", platform::Value(std::move(text))}});
    ASSERT_TRUE(database->insertRawEvent(*event, fingerprint, false));
  }
  std::vector<double> selected(std::int64_t fingerprint) {
    std::vector<double> times;
    // Held here: a range-for over a temporary optional's value() would walk a destroyed vector.
    const std::optional<std::vector<BMSRawEventData>> rows =
        BMSRawEventsForBundle(*database, *config, fingerprint);
    for (const auto& raw : rows.value()) times.push_back(raw.rawEvent().timestamp());
    return times;
  }
  void configure(std::map<std::string, std::string, std::less<>> settings) {
    BMSRemoteConfigSnapshot snapshot;
    snapshot.version = 1;
    snapshot.settings = std::move(settings);
    ASSERT_TRUE(config->updateWithSnapshot(snapshot, {}));
  }

  testing::ScopedEngineServices services;
  platform::testing::TemporaryDirectory folder;
  std::shared_ptr<BMSDatabase> database =
      BMSDatabase::openAtPath(folder.path() / kBMSMeasurementDatabaseName).value();
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
};

TEST_F(RawEventSelectionTest, AnHourBoundaryAndAnotherFingerprintsRowEndTheBundle) {
  const std::int64_t a = fingerprintFor(1);
  const std::int64_t b = fingerprintFor(2);
  store(7200, a);
  store(7300, a);
  store(10800, a);  // the next hour
  EXPECT_EQ(selected(a), (std::vector<double>{7200, 7300}));

  const std::int64_t c = fingerprintFor(3);
  store(20000, c);
  store(20001, b);
  store(20002, c);  // not consecutive with the first row of c
  EXPECT_EQ(selected(c), (std::vector<double>{20000}));
}

TEST_F(RawEventSelectionTest, CountAndSizeLimitsHoldButTheFirstRowIsAlwaysTaken) {
  configure({{"measurement.upload.max_events_per_bundle", "2"}});
  const std::int64_t a = fingerprintFor(1);
  for (int i = 0; i < 3; ++i) store(7200 + i, a);
  EXPECT_EQ(selected(a).size(), 2u);

  configure({{"measurement.upload.max_batch_size", "0"}});
  const std::int64_t b = fingerprintFor(2);
  store(3600, b, std::string(90, 'y'));
  store(3601, b);
  EXPECT_EQ(selected(b), (std::vector<double>{3600}));
}

}  // namespace
}  // namespace beacon
