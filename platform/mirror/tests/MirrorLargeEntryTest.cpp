// A record whose journal line would be longer than any machine reads: the exporting device says so,
// and everything else still goes out.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A title that makes its note's line longer than the limit by the rest of the line.
std::string oversizeTitle() {
  return std::string(kJournalLineLimit, 'x');
}

using MirrorLargeEntry = MirrorTest;

TEST_F(MirrorLargeEntry, ARecordTooLargeToReadIsReportedOnceByItsDeviceAndTheOthersStillGoOut) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  sync();
  a->addNote("Groceries", 1);
  const UUID huge = a->addNote(oversizeTitle());
  sync(2);

  EXPECT_THAT(b->titles(), ElementsAre("Groceries"));
  EXPECT_THAT(b->pages(), ElementsAre("Groceries page 1@Groceries"));
  for (const MirrorEvent& event : b->ended(MirrorEvent::Type::Import))
    EXPECT_TRUE(event.succeeded) << "no unreadable line reached the other device";

  std::vector<MirrorEvent> exports = a->ended(MirrorEvent::Type::Export);
  ASSERT_EQ(exports.size(), 1u);
  ASSERT_TRUE(isFailure(exports[0], CloudMirrorErrorCode::EntryTooLarge));
  EXPECT_THAT(exports[0].error->description, HasSubstr(huge.uuidString()));
  const std::filesystem::path journal = journalOf(*a);
  EXPECT_LT(std::filesystem::file_size(journal), kJournalLineLimit) << "the oversize line was not appended";
  EXPECT_EQ(lineCount(journal), 2u);

  // Later polls neither append the line nor report it again, and later changes go out as usual.
  sync(3);
  EXPECT_EQ(lineCount(journal), 2u);
  EXPECT_EQ(a->ended(MirrorEvent::Type::Export).size(), 1u);
  a->rename("Groceries", "Market");
  sync(2);
  EXPECT_THAT(b->titles(), ElementsAre("Market"));
  exports = a->ended(MirrorEvent::Type::Export);
  ASSERT_EQ(exports.size(), 2u);
  EXPECT_TRUE(exports[1].succeeded);
}

TEST_F(MirrorLargeEntry, EachRecordTooLargeIsReportedAndACallerWhoAsksHearsIt) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  sync();
  a->addNote(oversizeTitle());
  sync(2);
  const UUID second = a->addNote(oversizeTitle());
  sync(2);
  std::vector<MirrorEvent> exports = a->ended(MirrorEvent::Type::Export);
  ASSERT_EQ(exports.size(), 2u) << "a second record is not taken for a repeat of the first";
  ASSERT_TRUE(isFailure(exports[1], CloudMirrorErrorCode::EntryTooLarge));
  EXPECT_THAT(exports[1].error->description, HasSubstr(second.uuidString()));

  const UUID third = a->addNote(oversizeTitle());
  std::optional<Result<void>> heard;
  a->container().exportNow([&](Result<void> outcome) { heard = std::move(outcome); });
  dispatch.drain();
  ASSERT_TRUE(heard);
  ASSERT_FALSE(heard->ok());
  EXPECT_TRUE(isCloudMirrorError(heard->error(), CloudMirrorErrorCode::EntryTooLarge));
  EXPECT_THAT(heard->error().description, HasSubstr(third.uuidString()));
  sync(2);
  EXPECT_EQ(a->ended(MirrorEvent::Type::Export).size(), 2u) << "what the caller heard is not posted again";
  EXPECT_TRUE(b->titles().empty());
}

// A copy of the data folder writes its state under a name of its own once: the record left out for
// its size is reported once, and does not make the state be written again at every poll.
TEST_F(MirrorLargeEntry, ACopyOfALibraryWithARecordTooLargeWritesItsStateOnce) {
  auto a = makeDevice("a");
  a->addNote("Groceries", 1);
  a->addNote(oversizeTitle());
  sync(2);
  a.reset();
  copyDataFolder("a", "a copy");
  auto copy = makeDevice("a copy");
  sync(2);
  std::vector<MirrorEvent> exports = copy->ended(MirrorEvent::Type::Export);
  ASSERT_EQ(exports.size(), 1u);
  EXPECT_TRUE(isFailure(exports[0], CloudMirrorErrorCode::EntryTooLarge));

  const std::uintmax_t written = journalBytes();
  sync(20);
  EXPECT_EQ(journalBytes(), written) << "idle polls write nothing more";
  EXPECT_EQ(copy->ended(MirrorEvent::Type::Export).size(), 1u);
  auto b = makeDevice("b");
  sync(2);
  EXPECT_THAT(b->titles(), ElementsAre("Groceries"));
}

}  // namespace
}  // namespace platform
