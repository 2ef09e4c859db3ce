// The stored JSON form of a bundle: its shape, the round trip, and what a damaged file decodes to.

#include "sdk-core/heartbeat/HeartbeatsBundleCoding.h"

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

namespace beacon {
namespace {

using nlohmann::json;

platform::Bytes bytes(const std::string& text) {
  return platform::Bytes(text.begin(), text.end());
}

json stored(const HeartbeatsBundle& bundle) {
  auto data = encodeHeartbeatsBundle(bundle);
  EXPECT_TRUE(data.ok());
  return json::parse(data->begin(), data->end());
}

HeartbeatsBundle sample() {
  HeartbeatsBundle bundle(3);
  bundle.append(Heartbeat{"agent/1", platform::Date{86400.0}, 0, {TimePeriod::daily}});
  return bundle;
}

TEST(HeartbeatsBundleCodingTest, TheStoredFormHasTheAgreedShape) {
  const json expected = json::parse(R"({
    "capacity": 3,
    "lastAddedHeartbeatDates": [1, 86400],
    "buffer": {
      "circularQueue": [{"agent": "agent/1", "date": 86400, "version": 0, "timePeriods": [1]}, null, null],
      "tailIndex": 1}})");
  EXPECT_EQ(stored(sample()), expected);
}

TEST(HeartbeatsBundleCodingTest, ABundleSurvivesTheRoundTripWithDamageAndTheDistantPast) {
  HeartbeatsBundle damaged(
      30, HeartbeatsBundle::initialLastAddedDates(),
      RingBuffer<Heartbeat>({Heartbeat{"x", platform::Date{-0.5}, 7, {}}, std::nullopt}, 42));
  for (const HeartbeatsBundle& bundle : {sample(), damaged}) {
    auto data = encodeHeartbeatsBundle(bundle);
    ASSERT_TRUE(data.ok());
    auto decoded = decodeHeartbeatsBundle(*data);
    ASSERT_TRUE(decoded.ok()) << decoded.error().debugDescription();
    EXPECT_EQ(*decoded, bundle);
  }
}

TEST(HeartbeatsBundleCodingTest, KeysAreFoundByNameInAnyOrder) {
  auto decoded = decodeHeartbeatsBundle(bytes(R"({
    "buffer": {"tailIndex": 0, "circularQueue": [{"timePeriods": [], "version": 0, "date": 1.5, "agent": "a"}]},
    "lastAddedHeartbeatDates": [],
    "capacity": 1})"));
  ASSERT_TRUE(decoded.ok()) << decoded.error().debugDescription();
  EXPECT_EQ(decoded->buffer.elements(), (std::vector<Heartbeat>{{"a", platform::Date{1.5}, 0, {}}}));
  EXPECT_TRUE(decoded->lastAddedHeartbeatDates.empty());
}

TEST(HeartbeatsBundleCodingTest, DamagedStoresAreRefused) {
  const json valid = stored(sample());
  auto refused = [](const json& document) {
    auto decoded = decodeHeartbeatsBundle(bytes(document.dump()));
    return !decoded.ok() &&
           decoded.error().is(kHeartbeatsCodingErrorDomain,
                              static_cast<std::int64_t>(HeartbeatsCodingError::decodingFailed));
  };
  for (const char* key : {"capacity", "lastAddedHeartbeatDates", "buffer"}) {
    json missing = valid;
    missing.erase(key);
    EXPECT_TRUE(refused(missing)) << key;
  }
  for (const char* key : {"agent", "date", "version", "timePeriods"}) {
    json missing = valid;
    missing["buffer"]["circularQueue"][0].erase(key);
    EXPECT_TRUE(refused(missing)) << key;
  }
  json unknownPeriod = valid;
  unknownPeriod["buffer"]["circularQueue"][0]["timePeriods"] = {2};
  EXPECT_TRUE(refused(unknownPeriod));
  json unknownMapPeriod = valid;
  unknownMapPeriod["lastAddedHeartbeatDates"] = {2, 86400};
  EXPECT_TRUE(refused(unknownMapPeriod));
  json oddMap = valid;
  oddMap["lastAddedHeartbeatDates"] = {1};
  EXPECT_TRUE(refused(oddMap));
  json textCapacity = valid;
  textCapacity["capacity"] = "3";
  EXPECT_TRUE(refused(textCapacity));
  json fractionalTail = valid;
  fractionalTail["buffer"]["tailIndex"] = 1.5;
  EXPECT_TRUE(refused(fractionalTail));
  // Repairing a ring allocates its capacity, so an absurd one must not get that far.
  json hugeCapacity = valid;
  hugeCapacity["capacity"] = std::int64_t{1} << 40;
  EXPECT_TRUE(refused(hugeCapacity));

  EXPECT_FALSE(decodeHeartbeatsBundle(bytes("{\"capacity\": 3")).ok());
  EXPECT_FALSE(decodeHeartbeatsBundle(bytes("[]")).ok());
}

TEST(HeartbeatsBundleCodingTest, AnAgentThatIsNotUtf8CannotBeStored) {
  HeartbeatsBundle bundle(1);
  bundle.append(Heartbeat{"bad \xff", platform::Date{0}, 0, {}});
  auto data = encodeHeartbeatsBundle(bundle);
  ASSERT_FALSE(data.ok());
  EXPECT_TRUE(data.error().is(kHeartbeatsCodingErrorDomain,
                              static_cast<std::int64_t>(HeartbeatsCodingError::encodingFailed)));
}

}  // namespace
}  // namespace beacon
