// Queued bundles into one upload batch: the consent step, the leading run of one app and device,
// the upload fields with the checksum, and the consent-state cut.

#include "measurement/upload/BMSUploadBatch.h"

#include <gtest/gtest.h>

#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;

BMSDatabase::QueuedBundle queued(std::int64_t rowID, const std::string& appID,
                                 std::optional<std::string> resettable = std::nullopt,
                                 std::optional<std::string> vendor = std::nullopt) {
  BMSDatabase::QueuedBundle queued;
  queued.rowID = rowID;
  NANOSetInt32(queued.bundle, B::kProtocolVersion, 1);
  NANOSetString(queued.bundle, B::kAppID, appID);
  NANOSetString(queued.bundle, B::kResettableDeviceID, resettable);
  NANOSetString(queued.bundle, B::kVendorDeviceID, vendor);
  return queued;
}

std::vector<std::int64_t> rowIDs(const BMSQueuedBundles& bundles) {
  std::vector<std::int64_t> ids;
  for (const auto& bundle : bundles) ids.push_back(bundle.rowID);
  return ids;
}

TEST(UploadBatchTest, OnlyTheLeadingRunOfTheFirstAppAndDeviceIsSent) {
  testing::ScopedEngineServices services;
  EXPECT_EQ(rowIDs(BMSBundlesOfFirstAppAndDevice({queued(1, "a"), queued(2, "b"), queued(3, "a")})),
            std::vector<std::int64_t>{1});
  // A bundle without device IDs between bundles of one resettable ID stays in the run.
  EXPECT_EQ(rowIDs(BMSBundlesOfFirstAppAndDevice({queued(1, "a"), queued(2, "a", "ad-1"), queued(3, "a"),
                                                  queued(4, "a", "ad-2"), queued(5, "a", "ad-1")})),
            (std::vector<std::int64_t>{1, 2, 3}));
  // Without a resettable ID, the vendor ID decides.
  EXPECT_EQ(rowIDs(BMSBundlesOfFirstAppAndDevice(
                {queued(1, "a", std::nullopt, "v-1"), queued(2, "a", std::nullopt, "v-2")})),
            std::vector<std::int64_t>{1});
  EXPECT_TRUE(BMSFilteredBundlesWithCompatibleAppID("a", "ad-1", "v-1", {queued(1, "a")}).empty());
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{23042});
}

TEST(UploadBatchTest, UploadFieldsAreSetAndTheChecksumCoversTheBundleAsSent) {
  BMSUploadBatchSettings settings;
  settings.uploadTimeMillis = 1'700'000'000'123;
  settings.libraryVersion = 120300;
  settings.checksumEnabled = true;
  settings.dataControls = {"device_model"};
  BMSQueuedBundles bundles{queued(7, "a"), queued(9, "a")};
  NANOSetString(bundles[0].bundle, B::kDeviceModel, "x86_64");

  const BMSUploadBatch upload = BMSMakeUploadBatch(bundles, settings);
  EXPECT_EQ(upload.rowIDs, (std::vector<std::int64_t>{7, 9}));
  const auto sent = NANOGetArray<BMSPBMeasurementBundle>(upload.batch, MeasurementBatchField::kBundles);
  ASSERT_EQ(sent.size(), 2u);
  BMSPBMeasurementBundle first = sent[0];
  EXPECT_EQ(NANOGetInt64(first, B::kUploadTimestampMillis), 1'700'000'000'123);
  EXPECT_EQ(NANOGetInt64(first, B::kUploadLibraryVersion), 120300);
  EXPECT_FALSE(NANOHasField(first, B::kDeviceModel));
  EXPECT_EQ(NANOGetArray<std::string>(first, B::kDataControls), std::vector<std::string>{"device_model"});
  const std::int64_t checksum = NANOGetInt64(first, B::kChecksum);
  NANOClearField(first, B::kChecksum);
  EXPECT_EQ(checksum, BMS64LSBMD5(*first.protoBuffer()));
}

TEST(UploadBatchTest, WithDMAABundleOfAnotherConsentStateEndsTheBatch) {
  BMSQueuedBundles bundles{queued(1, "a"), queued(2, "a"), queued(3, "a")};
  NANOSetString(bundles[0].bundle, B::kConsentSignals, "C111");
  NANOSetString(bundles[1].bundle, B::kConsentSignals, "C111");
  NANOSetString(bundles[2].bundle, B::kConsentSignals, "C110");
  BMSUploadBatchSettings settings;
  EXPECT_EQ(BMSMakeUploadBatch(bundles, settings).rowIDs, (std::vector<std::int64_t>{1, 2}));
  settings.DMAConsentEnabled = false;
  EXPECT_EQ(BMSMakeUploadBatch(bundles, settings).rowIDs, (std::vector<std::int64_t>{1, 2, 3}));
}

TEST(UploadBatchTest, ConsentIsForcedOntoBundlesFromTheFirstOpenOn) {
  BMSQueuedBundles bundles{queued(1, "a"), queued(2, "a"), queued(3, "a")};
  for (auto& bundle : bundles) NANOSetString(bundle.bundle, B::kConsentSignals, "C1GG");
  BMSPBEvent firstOpen;
  NANOSetString(firstOpen, EventField::kName, "_f");
  NANOSetArray(bundles[1].bundle, B::kEvents, std::vector<BMSPBEvent>{firstOpen});
  BMSUploadConsent consent;
  consent.consentSignals = "C1GD";
  BMSApplyUploadConsent(bundles, consent);
  EXPECT_EQ(NANOGetString(bundles[0].bundle, B::kConsentSignals), "C1GG");
  EXPECT_EQ(NANOGetString(bundles[1].bundle, B::kConsentSignals), "C1GD");
  EXPECT_EQ(NANOGetString(bundles[2].bundle, B::kConsentSignals), "C1GD");

  // With DMA, signals that deny something force from the start.
  for (auto& bundle : bundles) NANOSetString(bundle.bundle, B::kConsentSignals, "C1GG");
  consent.consentSignals = "C110";
  BMSApplyUploadConsent(bundles, consent);
  EXPECT_EQ(NANOGetString(bundles[0].bundle, B::kConsentSignals), "C110");
}

}  // namespace
}  // namespace beacon
