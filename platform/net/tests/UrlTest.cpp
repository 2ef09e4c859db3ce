#include "platform/net/Url.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(UrlTest, AcceptsAbsoluteUrlsOfEveryShapeThisSystemUses) {
  for (const char* text : {"https://apps.example.com/app/id123?action=write-review",
                           "itms-apps://apps.example.com/app/id6478123456?action=write-review",
                           "http://127.0.0.1:8080/lookup?id=1,2,3", "https://user:pw@[::1]:443/a%20b#top",
                           "https://example.com", "file:///etc/passwd", "mailto:someone@example.com"}) {
    const auto url = Url::parse(text);
    ASSERT_TRUE(url.has_value()) << text;
    EXPECT_EQ(url->string(), text);
  }
}

TEST(UrlTest, RefusesTextThatIsNotAStrictAbsoluteUrl) {
  for (const char* text : {"",
                           "relative/path",
                           "/absolute/path",
                           "//host/path",
                           "1http://host/",
                           "https://exa mple.com/",
                           "https://example.com/a b",
                           "https://example.com/id 123?x=1",
                           " https://example.com/",
                           "https://example.com/\n",
                           "https://example.com/caf\xC3\xA9",
                           "https://example.com/%zz",
                           "https://example.com/%4",
                           "https://example.com:80a/",
                           "https://ex<ample.com/",
                           "https://example.com/\"",
                           "https://example.com/a#b#c",
                           "https://[zz::1]/",
                           "https://[::1/",
                           "https://a@b@example.com/"}) {
    EXPECT_FALSE(Url::parse(text).has_value()) << text;
  }
}

TEST(UrlTest, SchemeAndHostCompareCaseInsensitivelyButTheTextStaysAsGiven) {
  const auto url = Url::parse("HTTPS://Apps.Example.COM/Path");
  ASSERT_TRUE(url.has_value());
  EXPECT_EQ(url->scheme(), "https");
  EXPECT_EQ(url->host(), "apps.example.com");
  EXPECT_EQ(url->string(), "HTTPS://Apps.Example.COM/Path");
  EXPECT_TRUE(url->isWeb());
}

TEST(UrlTest, OnlyHttpAndHttpsUrlsWithAHostAreWebUrls) {
  EXPECT_TRUE(Url::parse("http://127.0.0.1:1/x")->isWeb());
  EXPECT_TRUE(Url::parse("https://[::1]/")->isWeb());
  EXPECT_FALSE(Url::parse("https:/no-host")->isWeb());
  EXPECT_FALSE(Url::parse("http://")->isWeb());
  EXPECT_FALSE(Url::parse("file:///etc/passwd")->isWeb());
  EXPECT_FALSE(Url::parse("ftp://example.com/")->isWeb());
  EXPECT_FALSE(Url::parse("itms-apps://apps.example.com/app/id1")->isWeb());
}

TEST(UrlTest, QueryValuesEscapeEverythingThatCouldChangeTheQuery) {
  EXPECT_EQ(percentEncodeQueryValue("123,456"), "123,456");
  EXPECT_EQ(percentEncodeQueryValue("a&b=c+d#e f?g/h"), "a%26b%3Dc%2Bd%23e%20f%3Fg%2Fh");
  EXPECT_EQ(percentEncodeQueryValue("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(percentEncodeQueryValue("\xC3\xA4%"), "%C3%A4%25");
  EXPECT_EQ(percentEncodeQueryValue(""), "");
}

}  // namespace
}  // namespace platform
