// Digests and the fingerprint, scalar lengths, bit strings and query strings.

#include <gtest/gtest.h>

#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSStringUtil.h"

namespace beacon {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Digest, FingerprintIsTheDigestsLastEightBytesBigEndian) {
  EXPECT_EQ(BMS64LSBMD5(bytesOf("abc")), static_cast<std::int64_t>(0xd6963f7d28e17f72ULL));
  EXPECT_EQ(BMS64LSBMD5(bytesOf("")), -1621285313438006658);
  EXPECT_EQ(BMS64LSBMD5(bytesOf("The quick brown fox jumps over the lazy dog")), 7770993271616313814);
  EXPECT_EQ(BMS64LeastSignificantBits(platform::Bytes{1, 2}), 258);
  EXPECT_EQ(BMS64LeastSignificantBits(platform::Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8}), 0x0102030405060708);
  EXPECT_EQ(BMS64LeastSignificantBits(platform::Bytes{}), 0);
  EXPECT_EQ(BMSMD5String("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(BMSMD5String("\xff"), std::nullopt);
  EXPECT_EQ(BMSSHA256String("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(StringUtil, ScalarsAndBits) {
  EXPECT_EQ(BMSUTF32Length("a\U0001F600\u00e9"), 3u);
  EXPECT_EQ(BMSGetUTF32Bytes("\U0001F600bc", 6), (platform::Bytes{0x00, 0xF6, 0x01, 0x00}));
  EXPECT_TRUE(BMSIsBitEnabledAtIndex("0101", 1));
  EXPECT_FALSE(BMSIsBitEnabledAtIndex("0101", 4));
  EXPECT_FALSE(BMSIsBitEnabledAtIndex("0101", -1));
}

TEST(StringUtil, QueryStringsRoundTripAndTheFirstKeyWins) {
  EXPECT_EQ(BMSDictionaryWithHttpArgumentsString("a=1&b=2&a=3"),
            (platform::Dictionary{{"a", "1"}, {"b", "2"}}));
  EXPECT_EQ(BMSDictionaryWithHttpArgumentsString("flag&&x=a+b%20c"),
            (platform::Dictionary{{"flag", ""}, {"x", "a b c"}}));
  EXPECT_EQ(BMSDictionaryWithHttpArgumentsString("bad=%zz"), (platform::Dictionary{{"bad", ""}}));
  EXPECT_EQ(BMSStringByUnescapingFromURLArgument("%"), std::nullopt);
  EXPECT_EQ(BMSStringByUnescapingFromURLArgument("%ff"), std::nullopt);  // not UTF-8

  const platform::Dictionary arguments{{"q", "a&b=c+d #e"}, {"n", 5}};
  const std::string query = BMSQueryString(arguments);
  EXPECT_EQ(query.find('+'), std::string::npos);
  EXPECT_EQ(BMSDictionaryWithHttpArgumentsString(query),
            (platform::Dictionary{{"n", "5"}, {"q", "a&b=c+d #e"}}));
}

}  // namespace
}  // namespace beacon
