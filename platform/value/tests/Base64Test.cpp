#include "platform/value/Base64.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

TEST(Base64, EncodesTheRfcVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(bytesOf(plain)), encoded);
    EXPECT_EQ(base64Decode(encoded), bytesOf(plain)) << encoded;
  }
}

TEST(Base64, UrlSafeAlphabetAndOmittedFill) {
  Bytes data{0xfb, 0xff, 0xbf, 0xfe};
  EXPECT_EQ(base64Encode(data), "+/+//g==");
  EXPECT_EQ(base64Encode(data, Base64Alphabet::UrlSafe), "-_-__g==");
  EXPECT_EQ(base64Encode(data, Base64Alphabet::UrlSafe, Base64Padding::Omit), "-_-__g");
  EXPECT_EQ(base64Decode("-_-__g", Base64Alphabet::UrlSafe), data);
  EXPECT_EQ(base64Decode("-_-__g==", Base64Alphabet::UrlSafe), data);
  // Each alphabet refuses the other's symbols.
  EXPECT_EQ(base64Decode("-_-__g==", Base64Alphabet::Standard), std::nullopt);
  EXPECT_EQ(base64Decode("+/+//g==", Base64Alphabet::UrlSafe), std::nullopt);
}

TEST(Base64, RoundTripsEveryByteValueAtEveryLength) {
  Bytes data;
  for (int i = 0; i < 256; ++i) data.push_back(static_cast<std::uint8_t>(255 - i));
  for (std::size_t length = 0; length <= data.size(); length += 37) {
    Bytes prefix(data.begin(), data.begin() + length);
    for (auto alphabet : {Base64Alphabet::Standard, Base64Alphabet::UrlSafe}) {
      for (auto padding : {Base64Padding::Keep, Base64Padding::Omit}) {
        EXPECT_EQ(base64Decode(base64Encode(prefix, alphabet, padding), alphabet), prefix) << length;
      }
    }
  }
}

TEST(Base64, MalformedTextIsReportedNotGuessed) {
  for (const char* bad : {"Z", "Zm9vY", "Zm=9", "Z===", "Zg=", "=Zg=", "Zm9v\n", " Zm9v",
                          "Zm9v!A==", "Zh==", "Zm9=", "Zg==Zg=="}) {
    EXPECT_EQ(base64Decode(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace platform
