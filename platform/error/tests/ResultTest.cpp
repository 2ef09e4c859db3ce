#include "platform/error/Result.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Result, CarriesValueOrError) {
  Result<int> good = 42;
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(*good, 42);
  EXPECT_THROW((void)good.error(), ProgrammerError);

  Result<int> bad = Error("Test", 7, "kaputt");
  ASSERT_FALSE(bad.ok());
  EXPECT_TRUE(bad.error().is("Test", 7));
  EXPECT_EQ(bad.valueOr(3), 3);
  EXPECT_THROW((void)bad.value(), ProgrammerError);
}

TEST(Result, VoidResultReportsFailure) {
  Result<void> done;
  EXPECT_TRUE(done.ok());
  Result<void> failed = Error("Test", 1);
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().code, 1);
}

TEST(Error, DebugDescriptionIncludesCause) {
  Error outer("Outer", 2, "äußerer Fehler");
  outer.causedBy(Error("Inner", 5, "innen"));
  EXPECT_EQ(outer.debugDescription(), "Outer 2: äußerer Fehler (caused by Inner 5: innen)");
}

TEST(Error, SystemErrorNumberIsReadFromTheFailureOrItsFirstCauseThatHasOne) {
  Error outer("Outer", 2, "write failed", {{std::string(kErrnoKey), Value("not a number")}});
  Error middle("Middle", 3);
  middle.causedBy(Error("Inner", 5, "no room", {{std::string(kErrnoKey), Value(28)}}));
  outer.causedBy(middle);
  EXPECT_EQ(outer.systemErrorNumber(), std::nullopt);
  EXPECT_EQ(outer.systemErrorNumberInChain(), 28);
  EXPECT_EQ(Error("Alone", 1).systemErrorNumberInChain(), std::nullopt);
}

}  // namespace
}  // namespace platform
