#pragma once
// A fresh application for one test: a temporary user (TemporaryUser) whose main bundle has the
// Info.plist the test chooses, with the main bundle and the preference domains looked up afresh -
// now, at every writeInfo() and restart(), and when the object goes - as a restart of the program
// would.

#include "platform/testing/TestEnvironment.h"
#include "platform/value/Value.h"

namespace platform::testing {

inline constexpr const char* kTestApplicationIdentifier = "de.example.testapplication";

class TestApplication {
 public:
  explicit TestApplication(const Dictionary& info = {{"CFBundleIdentifier", kTestApplicationIdentifier}});
  ~TestApplication();
  TestApplication(const TestApplication&) = delete;
  TestApplication& operator=(const TestApplication&) = delete;

  void writeInfo(const Dictionary& info);
  // Forgets the cached main bundle and preference domains.
  static void restart();

  TemporaryUser& user() { return user_; }

 private:
  TemporaryUser user_;
};

}  // namespace platform::testing
