// Encoding and decoding: round trips of every kind, deterministic bytes, and what other writers may send.

#include <gtest/gtest.h>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/messages/tests/MessageTestSupport.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;
using platform::Bytes;

BMSPBMeasurementBundle sampleBundle() {
  BMSPBEvent event = testing::event("purchase", 1700000000123,
                                    {testing::intParam("_o", 0), testing::doubleParam("price", 9.99),
                                     testing::itemsParam({{testing::intParam("quantity", 2)}})});

  BMSPBMeasurementBundle bundle;
  NANOSetInt32(bundle, B::kProtocolVersion, 1);
  NANOSetArray(bundle, B::kEvents, std::vector<BMSPBEvent>{event});
  NANOSetInt32(bundle, B::kTimeZoneOffsetMinutes, -300);
  NANOSetString(bundle, B::kAppID, "com.example.app");
  NANOSetBool(bundle, B::kLimitedAdTracking, true);
  NANOSetArray(bundle, B::kExperimentIDs, std::vector<std::int64_t>{11, -12});
  NANOSetInt32(bundle, B::kTrackingAuthorizationStatus,
               static_cast<std::int32_t>(TrackingAuthorizationStatus::Denied));
  NANOSetString(bundle, B::kCorePlatformServices, std::string("a\0b", 3));  // bytes kept, NUL included
  return bundle;
}

TEST(MessageCodec, EveryKindSurvivesARoundTrip) {
  BMSPBMeasurementBundle bundle = sampleBundle();
  std::optional<Bytes> bytes = bundle.protoBuffer();
  ASSERT_TRUE(bytes);
  std::optional<BMSPBMeasurementBundle> decoded = BMSPBMeasurementBundle::initWithBuffer(*bytes);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(*decoded == bundle);
  EXPECT_EQ(NANOGetInt32(*decoded, B::kTimeZoneOffsetMinutes), -300);
  EXPECT_EQ(NANOGetString(*decoded, B::kCorePlatformServices)->size(), 3u);
  EXPECT_EQ(decoded->protoBuffer(), bytes);
}

TEST(MessageCodec, NegativeInt32IsWrittenSignExtendedInTenBytes) {
  BMSPBMeasurementBundle bundle;
  NANOSetInt32(bundle, B::kTimeZoneOffsetMinutes, -1);
  EXPECT_EQ(*bundle.protoBuffer(),
            (Bytes{13 << 3, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}));
}

TEST(MessageCodec, BytesDoNotDependOnTheOrderFieldsWereSet) {
  BMSPBMeasurementBundle first;
  NANOSetString(first, B::kPlatform, "linux");
  NANOSetInt64(first, B::kStartTimestampMillis, 5);
  NANOSetString(first, B::kAppID, "app");
  BMSPBMeasurementBundle second;
  NANOSetString(second, B::kAppID, "app");
  NANOSetString(second, B::kPlatform, "linux");
  NANOSetInt64(second, B::kStartTimestampMillis, 5);
  EXPECT_EQ(first.protoBuffer(), second.protoBuffer());
  // Ascending IDs: start (tag 5), platform (tag 9), app ID (tag 15).
  const Bytes bytes = *first.protoBuffer();
  EXPECT_EQ(bytes[0], 5 << 3);
  EXPECT_EQ(bytes[2], (9 << 3) | 2);
}

TEST(MessageCodec, AnEmptyMessageIsZeroBytesAndBack) {
  EXPECT_EQ(BMSPBMeasurementBatch().protoBuffer(), Bytes{});
  std::optional<BMSPBMeasurementBatch> decoded = BMSPBMeasurementBatch::initWithBuffer(Bytes{});
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(NANOHasField(*decoded, MeasurementBatchField::kBundles));
}

TEST(MessageCodec, ReadsPackedListsUnknownFieldsAndTheLastOfRepeatedSingulars) {
  Bytes bytes;
  auto key = [&](std::uint32_t tag, std::uint8_t wireType) {
    for (std::uint32_t k = (tag << 3) | wireType; true; k >>= 7) {
      bytes.push_back(static_cast<std::uint8_t>(k < 0x80 ? k : (k & 0x7f) | 0x80));
      if (k < 0x80) break;
    }
  };
  auto append = [&](Bytes more) { bytes.insert(bytes.end(), more.begin(), more.end()); };
  key(38, 2), append({3, 0x01, 0x02, 0x7f});  // experiment IDs 1, 2, 127 packed
  key(38, 0), append({0x05});                 // and one more unpacked
  key(16, 0), append({0x09});                 // tag 16 is free in the table: skipped
  key(24, 2), append({2, 'o', 'k'});          // tag 24 too, length-delimited
  key(9, 2), append({1, 'a'});                // platform "a" ...
  key(9, 2), append({1, 'b'});                // ... then "b": the last one counts
  std::optional<BMSPBMeasurementBundle> decoded = BMSPBMeasurementBundle::initWithBuffer(bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(NANOGetArray<std::int64_t>(*decoded, B::kExperimentIDs),
            (std::vector<std::int64_t>{1, 2, 127, 5}));
  EXPECT_EQ(NANOGetString(*decoded, B::kPlatform), "b");
  EXPECT_EQ(decoded->messageInfo().setFieldIDs(),
            (std::vector<std::uint32_t>{B::kPlatform, B::kExperimentIDs}));
}

TEST(MessageCodec, ConfigurationMessageRoundTripsWithAudiences) {
  BMSPBAudience audience;
  NANOSetInt32(audience, AudienceField::kAudienceID, 42);
  NANOSetString(audience, AudienceField::kDefinition, std::string("\x08\x01\x00\xff", 4));
  BMSPBSetting setting;
  NANOSetString(setting, SettingField::kKey, "measurement.upload.max_public_event_params");
  NANOSetString(setting, SettingField::kValue, "50");
  BMSPBMeasurementConfig config;
  NANOSetString(config, MeasurementConfigField::kCNPAppID, "1:123:ios:abc");
  NANOSetArray(config, MeasurementConfigField::kAudiences, std::vector<BMSPBAudience>{audience});
  NANOSetArray(config, MeasurementConfigField::kSettings, std::vector<BMSPBSetting>{setting});

  std::optional<BMSPBMeasurementConfig> decoded =
      BMSPBMeasurementConfig::initWithBuffer(*config.protoBuffer());
  ASSERT_TRUE(decoded);
  std::vector<BMSPBAudience> audiences =
      NANOGetArray<BMSPBAudience>(*decoded, MeasurementConfigField::kAudiences);
  ASSERT_EQ(audiences.size(), 1u);
  EXPECT_EQ(NANOGetInt32(audiences[0], AudienceField::kAudienceID), 42);
  EXPECT_EQ(NANOGetString(audiences[0], AudienceField::kDefinition), std::string("\x08\x01\x00\xff", 4));
}

}  // namespace
}  // namespace beacon
