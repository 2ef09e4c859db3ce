#include "platform/identity/UUID.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <unordered_set>

#include "platform/identity/tests/FakeRandomSource.h"

namespace platform {
namespace {

constexpr const char* kSample = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";

TEST(IdentityUUID, TextRoundTripsInUpperCase) {
  const std::optional<UUID> parsed = UUID::fromString(kSample);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->bytes()[0], 0xE6);
  EXPECT_EQ(parsed->bytes()[15], 0x5F);
  EXPECT_EQ(parsed->uuidString(), kSample);
  EXPECT_EQ(UUID().uuidString(), "00000000-0000-0000-0000-000000000000");
  EXPECT_TRUE(UUID().isNil());
}

TEST(IdentityUUID, ParsesEitherCase) {
  const std::optional<UUID> lower = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  const std::optional<UUID> mixed = UUID::fromString("e621E1f8-C36c-495A-93fC-0c247A3e6E5f");
  ASSERT_TRUE(lower && mixed);
  EXPECT_EQ(*lower, *UUID::fromString(kSample));
  EXPECT_EQ(*mixed, *lower);
  EXPECT_EQ(lower->uuidString(), kSample);
}

TEST(IdentityUUID, RejectsMalformedText) {
  for (const char* text : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}",
                           " E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                           "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",
                           "E621E1F-8C36C-495A-93FC-0C247A3E6E5F", "E621E1F8_C36C-495A-93FC-0C247A3E6E5F",
                           "E621E1F8-C36C-495A-93FC+0C247A3E6E5F"}) {
    EXPECT_FALSE(UUID::fromString(text)) << '"' << text << '"';
  }
}

TEST(IdentityUUID, RandomIsVersionFourWithTheStandardVariant) {
  PatternRandomSource allOnes({0xFF});
  EXPECT_EQ(UUID::random(allOnes).uuidString(), "FFFFFFFF-FFFF-4FFF-BFFF-FFFFFFFFFFFF");
  PatternRandomSource allZero({0x00});
  EXPECT_EQ(UUID::random(allZero).uuidString(), "00000000-0000-4000-8000-000000000000");

  const std::string drawn = UUID::random().uuidString();
  EXPECT_EQ(drawn[14], '4');
  EXPECT_NE(std::string("89AB").find(drawn[19]), std::string::npos);
}

TEST(IdentityUUID, RandomDrawsAreDistinct) {
  std::set<UUID> seen;
  for (int i = 0; i < 1000; ++i) seen.insert(UUID::random());
  EXPECT_EQ(seen.size(), 1000u);
}

TEST(IdentityUUID, StillProducedWhenTheSourceFails) {
  FailingRandomSource failing;
  const UUID first = UUID::random(failing);
  const UUID second = UUID::random(failing);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.uuidString()[14], '4');
}

TEST(IdentityUUID, OrdersAndHashesByBytes) {
  const UUID low(UUID::Bytes{0x00, 0xFF});
  const UUID high(UUID::Bytes{0x01});
  EXPECT_LT(low, high);
  EXPECT_EQ(UUID(UUID::Bytes{7}), UUID(UUID::Bytes{7}));

  const UUID sample = *UUID::fromString(kSample);
  const UUID sameFromLowerCase = *UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  EXPECT_EQ(std::hash<UUID>{}(sample), std::hash<UUID>{}(sameFromLowerCase));
  std::unordered_set<UUID> ids{sample, low, high};
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids.count(sameFromLowerCase), 1u);
}

}  // namespace
}  // namespace platform
