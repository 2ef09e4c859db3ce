// Which Corvane app IDs configure accepts.

#include <gtest/gtest.h>

#include "beacon/Beacon.h"  // what the application includes
#include "sdk-core/tests/CoreTestSupport.h"

namespace beacon {
namespace {

TEST(AppIDValidation, AcceptsVersionOneIDsOfTheIosForm) {
  EXPECT_TRUE(BCNApp::validateAppID("1:123456789012:ios:0123456789abcdef"));
  EXPECT_TRUE(BCNApp::validateAppID("1:1:ios:F"));
  // Real hashes are longer than 64 bits; they are checked as digits, never parsed into a number.
  EXPECT_TRUE(BCNApp::validateAppID("1:123456789012:ios:0123456789abcdef0123456789abcdef0123456789abcdef"));
  EXPECT_TRUE(BCNApp::validateAppID("1:123456789012345678901234567890:ios:abc"));
  EXPECT_TRUE(BCNApp::validateAppID("1:123:ios:0xabc"));
  EXPECT_TRUE(BCNApp::validateAppID("1:-42:ios:abc"));
}

TEST(AppIDValidation, RefusesVersionOneIDsOfAnyOtherForm) {
  for (const char* appID : {
           "",                   // nothing
           "1:123:macos:abc",    // another platform
           "1:123:IOS:abc",      // platforms are compared exactly
           "1:123:ios:abcxyz",   // non-hexadecimal characters after the digits
           "1:123:ios:",         // no hash
           "1:123:ios:0x",       // a prefix without digits
           "1:abc:ios:abc",      // no project number
           "1::ios:abc",         // an empty project number
           "1:123:ios:abc:def",  // five parts
           "1:123:ios:xabc",     // a hash that does not begin with a digit
           "1:123:ios",          // three parts
           "1",                  // no separator after the version
           "x:123:ios:abc",      // no version
           " 1:123:ios:abc",     // nothing is skipped before the version
       }) {
    EXPECT_FALSE(BCNApp::validateAppID(appID)) << appID;
  }
}

TEST(AppIDValidation, OtherVersionsAreAcceptedAsUnknown) {
  testing::TemporaryApplication application;
  BCNConfiguration::shared().setLoggerLevel(6);
  testing::LogLines log;

  EXPECT_TRUE(BCNApp::validateAppID("2:123:android:xyz"));
  EXPECT_TRUE(BCNApp::validateAppID("01:123:ios:abc"));

  EXPECT_EQ(log.texts(), (std::vector<std::string>{
                             "12.4.0 - [BeaconCore][I-COR000010] Unknown CORVANE_APP_ID version: 2",
                             "12.4.0 - [BeaconCore][I-COR000010] Unknown CORVANE_APP_ID version: 01",
                         }));
}

}  // namespace
}  // namespace beacon
