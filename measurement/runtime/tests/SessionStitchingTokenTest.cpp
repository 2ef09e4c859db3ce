#include "measurement/runtime/SessionStitchingToken.h"

#include <gtest/gtest.h>

namespace beacon {
namespace {

class SessionStitchingTokenTest : public ::testing::Test {
 protected:
  std::string request(std::int64_t number, bool expired, bool userID) {
    return token.tokenFor(
        number, expired, [this, userID] { return ++userIDAsked, userID; }, now,
        [this] { return "T" + std::to_string(++drawn); });
  }

  SessionStitchingToken token;
  platform::Date now{700000000};
  int drawn = 0;
  int userIDAsked = 0;
};

TEST_F(SessionStitchingTokenTest, SameSessionKeepsItsToken) {
  EXPECT_EQ(request(3, false, false), "T1");
  EXPECT_EQ(request(3, false, false), "T1");
}

TEST_F(SessionStitchingTokenTest, SurvivesASessionRestart) {
  EXPECT_EQ(request(3, false, false), "T1");
  EXPECT_EQ(request(3, true, false), "T2");  // the expired check is itself a change of session state
  EXPECT_EQ(request(4, false, false), "T2");
}

TEST_F(SessionStitchingTokenTest, AnyOtherSessionChangeDrawsANewToken) {
  EXPECT_EQ(request(3, false, false), "T1");
  EXPECT_EQ(request(4, false, false), "T2");  // no expired check before the new session
  EXPECT_EQ(request(4, true, false), "T3");
  EXPECT_EQ(request(6, false, false), "T4");  // skipped a number
}

TEST_F(SessionStitchingTokenTest, WithoutUserIDATokenLastsOneDay) {
  EXPECT_EQ(request(1, false, false), "T1");
  now.secondsSinceReferenceDate += 86399;
  EXPECT_EQ(request(1, false, false), "T1");
  now.secondsSinceReferenceDate += 1;
  EXPECT_EQ(request(1, false, false), "T2");
}

TEST_F(SessionStitchingTokenTest, WithUserIDATokenNeverExpires) {
  EXPECT_EQ(request(1, false, true), "T1");
  now.secondsSinceReferenceDate += 10 * 86400;
  EXPECT_EQ(request(1, false, true), "T1");
}

TEST_F(SessionStitchingTokenTest, LosingTheUserIDDropsAnUnlimitedToken) {
  EXPECT_EQ(request(1, false, true), "T1");
  EXPECT_EQ(request(1, false, false), "T2");
  EXPECT_EQ(request(1, false, false), "T2");
}

// The user-ID answer may cost a storage read: asked once per request at most, and only where it can
// change the token.
TEST_F(SessionStitchingTokenTest, AsksForTheUserIDOnlyWhenTheAnswerCanChangeTheToken) {
  EXPECT_EQ(request(1, false, false), "T1");
  EXPECT_EQ(userIDAsked, 1);  // a new token's expiry depends on it
  EXPECT_EQ(request(1, false, true), "T1");
  EXPECT_EQ(userIDAsked, 1);  // a token within its day stays, user ID or not
  now.secondsSinceReferenceDate += 86400;
  EXPECT_EQ(request(1, false, true), "T1");
  EXPECT_EQ(userIDAsked, 2);  // past its day the token stays only while a user ID is known
  EXPECT_EQ(request(1, false, false), "T2");
  EXPECT_EQ(userIDAsked, 3);  // one answer serves both of its uses
  EXPECT_EQ(request(1, false, false), "T2");
  EXPECT_EQ(userIDAsked, 3);
}

TEST_F(SessionStitchingTokenTest, ResetDrawsANewTokenForTheSameSession) {
  EXPECT_EQ(request(1, false, false), "T1");
  token.reset();
  EXPECT_EQ(request(1, false, false), "T2");
}

}  // namespace
}  // namespace beacon
