// Bodies come from the network: malformed bytes are refused as a whole and never crash the decoder or
// make it allocate beyond what the input could describe.

#include <gtest/gtest.h>

#include <random>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/messages/tests/MessageTestSupport.h"

namespace beacon {
namespace {

using platform::Bytes;

BMSPBEventParam nestedParams(int depth) {
  BMSPBEventParam param;
  NANOSetString(param, EventParamField::kName, "leaf");
  for (int level = 0; level < depth; ++level) {
    BMSPBEventParam outer;
    NANOSetArray(outer, EventParamField::kParams, std::vector<BMSPBEventParam>{param});
    param = outer;
  }
  return param;
}

Bytes sampleEventBytes() {
  BMSPBEvent event =
      testing::event("purchase", 1700000000000, {testing::doubleParam("value", 3.5), nestedParams(3)});
  NANOSetInt64(event, EventField::kPreviousTimestampMillis, -1);
  return *event.protoBuffer();
}

TEST(MalformedInput, EveryTruncationIsRefused) {
  const Bytes bytes = sampleEventBytes();
  ASSERT_TRUE(BMSPBEvent::initWithBuffer(bytes));
  for (std::size_t length = 1; length < bytes.size(); ++length) {
    // Cuts that fall on a field boundary of the top message leave a shorter, valid message.
    std::optional<BMSPBEvent> decoded = BMSPBEvent::initWithBuffer(std::span(bytes.data(), length));
    if (decoded) {
      EXPECT_TRUE(decoded->protoBuffer()) << length;
    }
  }
  EXPECT_FALSE(BMSPBEvent::initWithBuffer(std::span(bytes.data(), bytes.size() - 1)));
}

TEST(MalformedInput, WrongWireTypesLengthsAndGroupsAreRefused) {
  const std::vector<Bytes> refused{
      {(2 << 3) | 0, 5},              // name (a string) sent as a number
      {(3 << 3) | 2, 1, 0},           // timestamp (a number) sent length-delimited into a singular field
      {(1 << 3) | 2, 5, 0x12, 0x00},  // params claims five bytes, two are there
      {(2 << 3) | 2, 0xff, 0xff, 0xff, 0xff, 0x0f, 'x'},  // a four-gigabyte name
      {(9 << 3) | 3},                                     // a group start
      {(3 << 3) | 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
       0x01},  // an eleven-byte varint
      {0x00},  // tag zero
  };
  for (const Bytes& bytes : refused) EXPECT_FALSE(BMSPBEvent::initWithBuffer(bytes)) << bytes.size();
}

TEST(MalformedInput, NestingBeyondTheDepthLimitIsRefused) {
  EXPECT_TRUE(BMSPBEventParam::initWithBuffer(*nestedParams(kMaxMessageDepth).protoBuffer()));
  EXPECT_FALSE(BMSPBEventParam::initWithBuffer(*nestedParams(kMaxMessageDepth + 1).protoBuffer()));
}

Bytes sampleConfigBytes() {
  BMSPBAudience audience;
  NANOSetInt32(audience, AudienceField::kAudienceID, 7);
  NANOSetString(audience, AudienceField::kDefinition, std::string("\x0a\x02\x08\x01", 4));
  BMSPBConsentEntry entry;
  NANOSetString(entry, ConsentEntryField::kType, "ad_storage");
  NANOSetString(entry, ConsentEntryField::kValue, "denied");
  BMSPBRegionalConsentDefaults regional;
  NANOSetString(regional, RegionalConsentDefaultsField::kRegion, "DE");
  NANOSetArray(regional, RegionalConsentDefaultsField::kDefaults, std::vector<BMSPBConsentEntry>{entry});
  BMSPBMeasurementConfig config;
  NANOSetInt64(config, MeasurementConfigField::kVersion, 12);
  NANOSetArray(config, MeasurementConfigField::kAudiences, std::vector<BMSPBAudience>{audience});
  NANOSetArray(config, MeasurementConfigField::kRegionalDefaults,
               std::vector<BMSPBRegionalConsentDefaults>{regional});
  NANOSetArray(config, MeasurementConfigField::kExperimentIDs, std::vector<std::int64_t>{-3, 4});
  return *config.protoBuffer();
}

// Flips, inserts and deletes bytes of a valid body, from a fixed seed so every run damages alike, and
// decodes each result: nothing may crash, and whatever is accepted is a message of our tables that
// encodes and reads back equal.
template <class Message>
void decodeDamagedCopies(const Bytes& original, int rounds) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < rounds; ++round) {
    Bytes damaged = original;
    const int changes = 1 + round % 4;
    for (int change = 0; change < changes; ++change) {
      const auto at = static_cast<std::ptrdiff_t>(random() % damaged.size());
      switch (random() % 3) {
        case 0:
          damaged[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(byte(random));
          break;
        case 1:
          damaged.insert(damaged.begin() + at, static_cast<std::uint8_t>(byte(random)));
          break;
        default:
          damaged.erase(damaged.begin() + at);
          break;
      }
      if (damaged.empty()) damaged.push_back(0x08);
    }
    std::optional<Message> decoded = Message::initWithBuffer(damaged);
    if (decoded) {
      std::optional<Bytes> again = decoded->protoBuffer();
      ASSERT_TRUE(again);
      ASSERT_TRUE(Message::initWithBuffer(*again) == decoded);
    }
  }
}

TEST(MalformedInput, RandomlyDamagedEventsNeverCrashTheDecoder) {
  decodeDamagedCopies<BMSPBEvent>(sampleEventBytes(), 20000);
}

TEST(MalformedInput, RandomlyDamagedConfigurationsNeverCrashTheDecoder) {
  decodeDamagedCopies<BMSPBMeasurementConfig>(sampleConfigBytes(), 20000);
}

}  // namespace
}  // namespace beacon
