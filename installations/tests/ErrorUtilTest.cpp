#include <gtest/gtest.h>

#include "installations/BCNInstallationsErrorUtil.h"

namespace beacon {
namespace {

TEST(ErrorUtilTest, ForeignErrorsAreWrappedWithTheirDescriptionAsReason) {
  platform::Error foreign("other.domain", 42, "the disk is full");
  platform::Error wrapped = BCNInstallationsErrorUtil::publicDomainErrorWithError(foreign);
  EXPECT_EQ(wrapped.domain, kBCNInstallationsErrorDomain);
  EXPECT_EQ(wrapped.code, 0);
  EXPECT_EQ(wrapped.description, "Underlying error: the disk is full");
  ASSERT_TRUE(wrapped.underlying);
  EXPECT_TRUE(wrapped.underlying->is("other.domain", 42));

  platform::Error own = BCNInstallationsErrorUtil::backoffIntervalWaitError();
  platform::Error passed = BCNInstallationsErrorUtil::publicDomainErrorWithError(own);
  EXPECT_EQ(passed.code, 2);
  EXPECT_EQ(passed.description, "Too many server requests.");
  EXPECT_FALSE(passed.underlying);
}

TEST(ErrorUtilTest, HTTPErrorsCarryTheResponseAndAreRecognisedByStatus) {
  platform::HttpResponse response;
  response.statusCode = 401;
  response.url = "https://example.test/v1/x";
  response.body = platform::Bytes{'n', 'o'};
  platform::Error error = BCNInstallationsErrorUtil::APIErrorWithHTTPResponse(response);
  EXPECT_EQ(error.code, 0);
  EXPECT_EQ(
      error.description,
      "The server responded with an error: \n - URL: https://example.test/v1/x \n - HTTP status code: 401 \n "
      "- Response body: <2 bytes, no content type>");
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(error, 401));
  EXPECT_FALSE(BCNInstallationsErrorUtil::isAPIError(error, 404));
  EXPECT_FALSE(BCNInstallationsErrorUtil::isAPIError(BCNInstallationsErrorUtil::JSONSerializationError(), 0));
  EXPECT_FALSE(BCNInstallationsErrorUtil::HTTPStatusOf(platform::Error("other", 401)));
}

TEST(ErrorUtilTest, KeychainErrorsNameTheFunctionAndStatus) {
  platform::Error error = BCNInstallationsErrorUtil::keychainErrorWithFunction("SecItemDelete", -25299);
  EXPECT_EQ(error.code, 1);
  EXPECT_EQ(error.description, "SecItemDelete (-25299)");
}

}  // namespace
}  // namespace beacon
