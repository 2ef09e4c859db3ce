// Request header lines, response heads and redirect rules, without a network.

#include "platform/net/HttpWire.h"

#include <gtest/gtest.h>

#include "platform/net/HttpError.h"

namespace platform {
namespace {

TEST(HttpHeadersTest, NamesCompareWithoutCaseAndSetReplacesInPlace) {
  HttpHeaders headers{{"Accept", "a"}, {"content-type", "x"}, {"X-Extra", "1"}, {"Content-Type", "y"}};
  EXPECT_EQ(headers.get("CONTENT-TYPE"), "x");
  headers.set("Content-Type", "z");
  EXPECT_EQ(headers.fields(),
            (std::vector<HttpHeaders::Field>{{"Accept", "a"}, {"content-type", "z"}, {"X-Extra", "1"}}));
  headers.remove("x-extra");
  EXPECT_FALSE(headers.contains("X-Extra"));
}

TEST(HttpWireTest, HeaderLinesKeepOrderDropCallerLengthAndSuppressInterimAnswers) {
  HttpRequest request;
  request.headers = {{"B", "2"}, {"content-length", "99"}, {"A", "1"}};
  EXPECT_EQ(requestHeaderLines(request), (std::vector<std::string>{"B: 2", "A: 1", "Expect:"}));
}

TEST(HttpWireTest, HeadReaderSkipsInterimHeadsAndStartsAfreshOnEachStatusLine) {
  ResponseHeadReader reader("http://h/x");
  for (const char* line : {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "ETag:  \"v1\" \r\n",
                           "Last-Modified: yesterday\r\n"}) {
    reader.feed(line);
    EXPECT_FALSE(reader.complete());
  }
  reader.feed("\r\n");
  ASSERT_TRUE(reader.complete());
  EXPECT_EQ(reader.head().statusCode, 200);
  EXPECT_EQ(reader.head().url, "http://h/x");
  EXPECT_EQ(reader.head().headers.get("etag"), "\"v1\"");
  EXPECT_EQ(reader.head().headers.fields().size(), 2u);
}

TEST(HttpWireTest, OnlyTheFirstLineOfAHeadIsItsStatusLine) {
  ResponseHeadReader reader;
  for (const char* line :
       {"HTTP/1.1 500 Internal Server Error\r\n", "X-A: 1\r\n", "HTTP/1.1: 200 OK\r\n", "\r\n"})
    reader.feed(line);
  ASSERT_TRUE(reader.complete());
  EXPECT_EQ(reader.head().statusCode, 500);
  EXPECT_EQ(reader.head().headers.get("X-A"), "1");
  EXPECT_EQ(reader.head().headers.get("HTTP/1.1"), "200 OK");
}

TEST(HttpWireTest, RedirectStatuses) {
  for (long status : {300, 301, 302, 303, 307, 308}) EXPECT_TRUE(isRedirectStatus(status)) << status;
  for (long status : {200, 304, 305, 306, 309, 400}) EXPECT_FALSE(isRedirectStatus(status)) << status;
}

TEST(HttpWireTest, RedirectsChangeMethodAsBrowsersDo) {
  HttpRequest post;
  post.url = "https://h/a/b?q=1";
  post.method = "POST";
  post.body = {1, 2, 3};
  post.headers = {{"Content-Type", "t"}, {"X-Key", "k"}};

  auto seeOther = redirectedRequest(post, 303, "/c");
  ASSERT_TRUE(seeOther);
  EXPECT_EQ(seeOther->url, "https://h/c");
  EXPECT_EQ(seeOther->method, "GET");
  EXPECT_TRUE(seeOther->body.empty());
  EXPECT_FALSE(seeOther->headers.contains("Content-Type"));
  EXPECT_EQ(seeOther->headers.get("X-Key"), "k");

  auto permanent = redirectedRequest(post, 308, "d");
  ASSERT_TRUE(permanent);
  EXPECT_EQ(permanent->url, "https://h/a/d");
  EXPECT_EQ(permanent->method, "POST");
  EXPECT_EQ(permanent->body, post.body);

  EXPECT_EQ(redirectedRequest(post, 302, "https://other:8443/x")->method, "GET");
  EXPECT_EQ(redirectedRequest(post, 307, "https://other/x")->method, "POST");
}

TEST(HttpWireTest, CredentialsStayWithTheOriginTheyWereSentTo) {
  HttpRequest request;
  request.url = "https://h:8443/a";
  request.method = "POST";
  request.headers = {
      {"Authorization", "secret"}, {"Cookie", "c"}, {"Proxy-Authorization", "p"}, {"X-Key", "k"}};

  for (const char* location : {"/b", "https://H:8443/b", "//h:8443/b", "https://h:08443/b"}) {
    auto sameOrigin = redirectedRequest(request, 307, location);
    ASSERT_TRUE(sameOrigin) << location;
    EXPECT_EQ(sameOrigin->headers.get("Authorization"), "secret") << location;
    EXPECT_EQ(sameOrigin->headers.get("Cookie"), "c") << location;
  }
  for (const char* location : {"https://other:8443/b", "https://h/b", "https://h:9443/b", "//other/b"}) {
    auto elsewhere = redirectedRequest(request, 307, location);
    ASSERT_TRUE(elsewhere) << location;
    EXPECT_FALSE(elsewhere->headers.contains("Authorization")) << location;
    EXPECT_FALSE(elsewhere->headers.contains("Cookie")) << location;
    EXPECT_FALSE(elsewhere->headers.contains("Proxy-Authorization")) << location;
    EXPECT_EQ(elsewhere->headers.get("X-Key"), "k") << location;
  }
}

TEST(HttpWireTest, AnOriginWithoutPortIsAtItsSchemesPort) {
  HttpRequest request;
  request.url = "https://h/a";
  request.headers = {{"Authorization", "secret"}};
  EXPECT_TRUE(redirectedRequest(request, 307, "https://h:443/b")->headers.contains("Authorization"));
  EXPECT_FALSE(redirectedRequest(request, 307, "https://h:80/b")->headers.contains("Authorization"));
  request.url = "http://h:80/a";
  EXPECT_TRUE(redirectedRequest(request, 307, "http://h/b")->headers.contains("Authorization"));
  EXPECT_FALSE(redirectedRequest(request, 307, "https://h/b")->headers.contains("Authorization"));
}

TEST(HttpWireTest, RedirectsNeverLeaveTheWebOrDowngrade) {
  HttpRequest secure;
  secure.url = "https://h/a";
  for (const char* location : {"http://h/a", "ftp://h/a", "file:///etc/passwd"}) {
    auto next = redirectedRequest(secure, 302, location);
    ASSERT_FALSE(next) << location;
    EXPECT_TRUE(next.error().is(kHttpErrorDomain, HttpErrorCode::UnsupportedURL));
  }
  HttpRequest plain;
  plain.url = "http://h/a";
  EXPECT_TRUE(redirectedRequest(plain, 302, "https://h/b"));
}

}  // namespace
}  // namespace platform
