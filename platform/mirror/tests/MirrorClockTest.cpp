// Machines whose clocks disagree by more than the mirror takes at once: a journal whose stamps
// climb chunk by chunk, and a machine whose wall clock ran far ahead and was put right. Nothing may
// be lost for good, and nobody's clock may be carried months ahead by what others wrote.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class MirrorClock : public MirrorTest {
 protected:
  std::int64_t stampDaysAhead(double days) const {
    return HybridLogicalClock::physicalStamp(
        Date{dispatch.clock().now().secondsSinceReferenceDate + days * kDay});
  }

  static UUID recordOf(Device& device, const std::string& title) {
    auto context = device.container().newBackgroundContext();
    std::optional<ManagedObject> note = device.note(title, *context);
    EXPECT_TRUE(note) << "no note " << title;
    return note ? note->recordName() : UUID();
  }

  static std::vector<MirrorEvent> failures(const Device& device, MirrorEvent::Type type,
                                           CloudMirrorErrorCode code) {
    std::vector<MirrorEvent> failed = device.ended(type);
    std::erase_if(failed, [code](const MirrorEvent& event) { return !isFailure(event, code); });
    return failed;
  }

  // `a`, whose wall clock the test sets, and `b`, which has made "On b".
  void startAAndB() {
    a = makeDevice("a", aClock);
    b = makeDevice("b");
    b->addNote("On b");
  }

  // `a` makes two edits while its clock runs `days` ahead and two more once the clock is put right
  // (its stamps keep their lead); answers how often it had said that its clock ran ahead before.
  std::size_t editAheadThenPutRight(double days) {
    aClock.setLead(days);
    a->addNote("A1");
    a->addNote("A2");
    sync(2);
    const std::size_t reportedBefore =
        failures(*a, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead).size();
    aClock.setLead(0);
    a->rename("A1", "A1 edited");
    a->addNote("A3");
    sync(2);
    return reportedBefore;
  }

  LeadingClock aClock{dispatch.clock()};
  std::unique_ptr<Device> a;
  std::unique_ptr<Device> b;
  const std::vector<std::string> all{"A1 edited", "A2", "A3", "On b"};
  WrittenDevice x{journals()};
};

TEST_F(MirrorClock, AJournalWhoseStampsClimbChunkByChunkLiftsNobodysClock) {
  a = makeDevice("a");
  b = makeDevice("b");
  a->addNote("P1");
  a->addNote("P2");
  sync(2);
  ASSERT_THAT(b->titles(), ElementsAre("P1", "P2"));

  // Each chunk lies within reach of the one before, none but the first within reach of any clock.
  std::vector<JournalEntry> climbing;
  for (int chunk = 1; chunk <= 5; ++chunk) {
    const std::int64_t stamp = stampDaysAhead(29.0 * chunk);
    for (std::size_t line = 0; line < kJournalChunkLines; ++line)
      climbing.push_back(x.note(stamp + static_cast<std::int64_t>(line), UUID::random(), "climbing"));
  }
  climbing.back() = x.note(climbing.back().stamp.clock, recordOf(*a, "P1"), "P1 from the climbing journal");
  x.write(climbing);
  sync(2);
  for (Device* device : {a.get(), b.get()}) {
    auto context = device->container().newBackgroundContext();
    EXPECT_LE(valueOrFail(MirrorBookkeeping(*context).clock()).last(), stampDaysAhead(30))
        << "a clock is lifted no further than the reach";
  }

  a->rename("P2", "P2 edited on a");
  a->addNote("P5");
  sync(2);
  auto d = makeDevice("d");
  sync(2);

  const std::vector<std::string> onA = a->titles();
  EXPECT_EQ(std::count(onA.begin(), onA.end(), "climbing"), static_cast<long>(kJournalChunkLines))
      << "only the first chunk is within reach";
  EXPECT_THAT(onA, AllOf(Contains("P1"), Contains("P2 edited on a"), Contains("P5")));
  EXPECT_EQ(b->titles(), onA);
  EXPECT_EQ(d->titles(), onA);
}

// The machine whose clock ran 60 days ahead and was put right: the others take all four of its
// edits once their clocks come within reach, and the machine says why they wait.
TEST_F(MirrorClock, EditsStampedWhileAClockRanFarAheadReachTheOthersOnceTheirClocksComeWithinReach) {
  startAAndB();
  sync(2);
  EXPECT_EQ(editAheadThenPutRight(60), 0u) << "nothing tells a that its clock is wrong yet";

  EXPECT_THAT(b->titles(), ElementsAre("On b"));
  const std::vector<MirrorEvent> held =
      failures(*b, MirrorEvent::Type::Import, CloudMirrorErrorCode::UnreadableEntry);
  ASSERT_FALSE(held.empty());
  EXPECT_THAT(held[0].error->description, HasSubstr("far beyond this machine's clock"));
  EXPECT_EQ(failures(*a, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead).size(), 1u)
      << "a says so once its clock is right again";

  // Held across a restart, and for a machine that joins meanwhile.
  b.reset();
  b = makeDevice("b");
  auto d = makeDevice("d");
  sync(2);
  EXPECT_THAT(d->titles(), ElementsAre("On b"));

  dispatch.clock().advanceWall(std::chrono::hours(24 * 31));
  sync(2);
  EXPECT_EQ(a->titles(), all);
  EXPECT_EQ(b->titles(), all);
  EXPECT_EQ(d->titles(), all);
}

// Two machines ran ahead, by 90 and by 70 days, and were put right; a third one's clock was right
// all along. Their stamps lie within reach of each other, but they do not vouch for each other: each
// hears that its changes wait, since the right machine's recent stamps show its wall clock is right.
TEST_F(MirrorClock, MachinesThatRanAheadTogetherAreEachToldOnceTheirClocksArePutRight) {
  LeadingClock bClock{dispatch.clock()};
  a = makeDevice("a", aClock);
  b = makeDevice("b", bClock);
  auto d = makeDevice("d");
  d->addNote("D before");
  sync(2);
  aClock.setLead(90);
  bClock.setLead(70);
  a->addNote("A ahead");
  b->addNote("B ahead");
  sync(2);
  aClock.setLead(0);
  bClock.setLead(0);
  a->addNote("A put right");
  b->addNote("B put right");
  d->addNote("D after");
  sync(2);
  a->rename("A put right", "A put right, edited");
  b->rename("B put right", "B put right, edited");
  sync(2);

  EXPECT_THAT(failures(*a, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead), Not(IsEmpty()));
  EXPECT_THAT(failures(*b, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead), Not(IsEmpty()));
  EXPECT_THAT(failures(*d, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead), IsEmpty());
  EXPECT_THAT(d->titles(), ElementsAre("D after", "D before")) << "d holds the others' changes";
}

// A copy of the data folder of the machine that ran ahead writes its state under a name of its own
// once, and says once that its stamps ran ahead: the notice does not make the write count as failed.
TEST_F(MirrorClock, ACopyOfAMachineThatRanAheadWritesItsStateOnceAndSaysSoOnce) {
  startAAndB();
  sync(2);
  editAheadThenPutRight(60);
  a.reset();
  copyDataFolder("a", "a copy");
  auto copy = makeDevice("a copy");
  sync(2);
  ASSERT_EQ(failures(*copy, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead).size(), 1u);

  const std::uintmax_t written = journalBytes();
  sync(20);
  EXPECT_EQ(journalBytes(), written) << "idle polls write nothing more";
  EXPECT_EQ(failures(*copy, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead).size(), 1u);

  // A pull asked for while the notice holds, meeting a change not exported yet, still imports.
  b->addNote("Later on b");
  b->container().exportNow({});
  dispatch.drain();
  copy->addNote("On the copy");
  std::optional<Result<void>> heard;
  copy->container().importNow([&](Result<void> outcome) { heard = std::move(outcome); });
  dispatch.drain();
  ASSERT_TRUE(heard);
  EXPECT_TRUE(heard->ok()) << heard->error().debugDescription();
  EXPECT_THAT(copy->titles(), Contains("Later on b"));
  EXPECT_EQ(failures(*copy, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead).size(), 2u)
      << "the notice of the export the pull made is posted";
}

// A line under this machine's own name stamped years ahead (its journal was replaced, or another
// writer uses its name) does not carry its clock along before it stamps its next change.
TEST_F(MirrorClock, AFarStampInTheOwnJournalDoesNotCarryTheClockAlong) {
  startAAndB();
  a->addNote("On a");
  sync(2);
  JournalEntry far;
  far.stamp = RecordStamp{stampDaysAhead(3650), a->device()};
  far.entity = "Note";
  far.record = UUID::random();
  far.fields.attributes = {{"title", AttributeValue(std::string("Far ahead"))}};
  ASSERT_TRUE(appendJournalLines(journalOf(*a), {encodeJournalLine(far)}).ok());
  a->rename("On a", "Edited on a");
  sync(2);

  auto context = a->container().newBackgroundContext();
  EXPECT_LE(valueOrFail(MirrorBookkeeping(*context).clock()).last(), stampDaysAhead(30));
  EXPECT_THAT(b->titles(), ElementsAre("Edited on a", "On b")) << "taken at once, not held";
}

TEST_F(MirrorClock, EditsOfAClockTwentyDaysAheadArriveAtOnce) {
  startAAndB();
  editAheadThenPutRight(20);
  EXPECT_EQ(b->titles(), all);
  EXPECT_THAT(failures(*a, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead), IsEmpty());
  EXPECT_THAT(failures(*b, MirrorEvent::Type::Import, CloudMirrorErrorCode::UnreadableEntry), IsEmpty());
}

// A store kept by a version that passed over entries stamped far ahead, for good: it reads the
// journals once more, holds those entries, and takes them once they come within reach.
TEST_F(MirrorClock, AStoreOfAnOlderVersionHoldsWhatItPassedOverAfterReadingTheJournalsOnceMore) {
  x.write({x.note(stampDaysAhead(60), UUID::random(), "Far ahead")});
  b = makeDevice("b");  // not started yet: its store is as an older version left it
  {
    auto context = b->container().newBackgroundContext();
    context->setMetadataValue("mirror.clock", std::to_string(stampDaysAhead(0)));
    const JournalPosition end = valueOrFail(readJournalLines(x.file(), JournalPosition{})).next;
    context->setMetadataValue("mirror.offset." + x.id.uuidString(), end.serialized());
    saveOrFail(*context);
  }
  sync();
  EXPECT_EQ(failures(*b, MirrorEvent::Type::Import, CloudMirrorErrorCode::UnreadableEntry).size(), 1u);

  b.reset();
  b = makeDevice("b");
  sync();
  EXPECT_THAT(b->ended(MirrorEvent::Type::Import), IsEmpty()) << "the journals are read once more only once";

  dispatch.clock().advanceWall(std::chrono::hours(24 * 31));
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Far ahead"));
}

// A machine whose wall clock was set back stamps with its hybrid clock's lead too, but its stamps
// are right: the others' changes it has taken show it, and it reports nothing.
TEST_F(MirrorClock, AMachineWhoseClockWasSetBackDoesNotReportItsStampsAsAhead) {
  startAAndB();
  a->addNote("On a");
  sync(2);
  aClock.setLead(-60);
  a->rename("On a", "Edited on a");
  sync(2);
  EXPECT_THAT(b->titles(), ElementsAre("Edited on a", "On b"));
  EXPECT_THAT(failures(*a, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead), IsEmpty());
}

// Alone, a clock set back looks like one that ran ahead and was put right: without another
// machine's recent stamps to show which, nothing is said. Nor when the only stamps taken from others
// are older than this machine's reading before it was set back.
TEST_F(MirrorClock, AMachineAloneOrWithIdlePartnersSaysNothingWhenItsClockIsSetBack) {
  startAAndB();
  sync(2);
  b.reset();
  a->addNote("On a");
  sync(2);
  aClock.setLead(-60);
  a->rename("On a", "Edited on a");
  a->addNote("Also on a");
  sync(2);
  EXPECT_THAT(failures(*a, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead), IsEmpty());

  auto alone = makeDevice("alone", aClock);
  alone->addNote("Alone");
  sync(2);
  aClock.setLead(-120);
  alone->rename("Alone", "Alone, edited");
  sync(2);
  EXPECT_THAT(failures(*alone, MirrorEvent::Type::Export, CloudMirrorErrorCode::ClockAhead), IsEmpty());
}

}  // namespace
}  // namespace platform
