// Importing journals written by hand: partial lines, references that arrive out of order, older
// writes, deletions and lines that cannot be read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <limits>

#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/MirrorImport.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class MirrorImport : public MirrorTest {
 protected:
  WrittenDevice x{journals()};
  WrittenDevice y{journals()};
  const UUID note = UUID::random();
  const UUID page = UUID::random();
};

TEST_F(MirrorImport, APartialTrailingLineWaitsUntilItIsComplete) {
  auto b = makeDevice("b");
  const std::string line = encodeJournalLine(x.note(1, note, "Complete"));
  const std::string second = encodeJournalLine(x.note(2, UUID::random(), "Second"));
  x.writeRaw(line + "\n" + second.substr(0, 20));
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Complete"));

  x.writeRaw(second.substr(20) + "\n");
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Complete", "Second"));
  for (const MirrorEvent& event : b->ended(MirrorEvent::Type::Import)) EXPECT_TRUE(event.succeeded);
}

TEST_F(MirrorImport, AReferenceToARecordNotSeenYetIsMadeOnceItArrives) {
  auto b = makeDevice("b");
  x.write({x.page(10, page, "orphan for now", note)});
  sync();
  EXPECT_THAT(b->pages(), ElementsAre("orphan for now@-"));

  y.write({y.note(5, note, "Parent")});
  sync();
  EXPECT_THAT(b->pages(), ElementsAre("orphan for now@Parent"));
}

TEST_F(MirrorImport, AReferenceWithinOneBatchIsMadeWhicheverEntryComesFirst) {
  auto b = makeDevice("b");
  x.write({x.page(1, page, "early page", note)});
  y.write({y.note(2, note, "Later note")});
  sync();
  EXPECT_THAT(b->pages(), ElementsAre("early page@Later note"));
}

TEST_F(MirrorImport, AnOlderWriteChangesNothingAndADeletionStaysDeleted) {
  auto b = makeDevice("b");
  x.write({x.note(100, note, "newer")});
  sync();
  y.write({y.note(50, note, "older")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("newer"));

  x.write({x.deletion(200, "Note", note)});
  y.write({y.note(150, note, "edited before the deletion")});
  sync();
  EXPECT_THAT(b->titles(), IsEmpty());

  y.write({y.note(300, note, "edited after the deletion")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("edited after the deletion"))
      << "the last writer wins, even over a deletion";
}

TEST_F(MirrorImport, EqualStampsAreSettledByTheDeviceSoEveryStoreAgrees) {
  auto a = makeDevice("a");
  auto b = makeDevice("b");
  x.write({x.note(7, note, "from x")});
  y.write({y.note(7, note, "from y")});
  sync();
  const std::string winner = x.id < y.id ? "from y" : "from x";
  EXPECT_THAT(a->titles(), ElementsAre(winner));
  EXPECT_THAT(b->titles(), ElementsAre(winner));
}

TEST_F(MirrorImport, UnreadableLinesAreSkippedReportedAndTheRestApplied) {
  auto b = makeDevice("b");
  // A line under another device's stamp is one that x writes again for y: it is read like any other.
  x.writeLines({"this is no entry", encodeJournalLine(x.note(1, note, "Readable")),
                encodeJournalLine(y.note(2, UUID::random(), "Written again for y"))});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Readable", "Written again for y"));
  std::vector<MirrorEvent> imports = b->ended(MirrorEvent::Type::Import);
  ASSERT_EQ(imports.size(), 1u);
  ASSERT_TRUE(isFailure(imports[0], CloudMirrorErrorCode::UnreadableEntry));
  EXPECT_THAT(imports[0].error->description, HasSubstr("1 journal entries"));

  sync(2);
  EXPECT_EQ(b->ended(MirrorEvent::Type::Import).size(), 1u) << "skipped lines are not read again";
  x.write({x.note(3, UUID::random(), "Next")});
  sync();
  EXPECT_TRUE(b->ended(MirrorEvent::Type::Import).back().succeeded);
}

// A damaged journal of any size, or one with enormous names, makes a report of bounded size that
// still counts every skipped line, and the lines readable among them are applied.
TEST_F(MirrorImport, TheReportOfSkippedLinesStaysSmallHoweverManyOrLongTheyAre) {
  auto b = makeDevice("b");
  std::vector<std::string> lines;
  const std::string hugeName(256 * 1024, 'E');
  for (int i = 0; i < 20; ++i) {
    lines.push_back(R"({"clock":1,"device":")" + x.id.uuidString() + R"(","entity":")" + hugeName +
                    R"(","op":"save","record":")" + UUID::random().uuidString() + R"(","fields":{}})");
  }
  lines.insert(lines.end(), 3 * kJournalChunkLines, "this is no entry");
  lines.push_back(encodeJournalLine(x.note(2, note, "Readable")));
  x.writeLines(lines);
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Readable"));
  std::vector<MirrorEvent> imports = b->ended(MirrorEvent::Type::Import);
  ASSERT_EQ(imports.size(), 1u);
  ASSERT_TRUE(isFailure(imports[0], CloudMirrorErrorCode::UnreadableEntry));
  const std::string& description = imports[0].error->description;
  EXPECT_THAT(description, HasSubstr(std::to_string(lines.size() - 1) + " journal entries"));
  EXPECT_THAT(description, HasSubstr("the model has no entity \"EEEE"));
  EXPECT_LT(description.size(), 4096u);
}

// A journal this machine may not read (a shared folder can keep another account's permissions) is
// reported, and the journals after it are read all the same.
TEST_F(MirrorImport, AJournalThatCannotBeReadIsReportedAndTheOthersAreStillApplied) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser reads every file";
  // Named to come first, so that every other journal comes after it.
  const std::filesystem::path locked = journals() / "00000000-0000-4000-8000-000000000000.jsonl";
  std::filesystem::create_directories(journals());
  std::ofstream(locked) << "{}\n";
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  auto b = makeDevice("b");
  x.write({x.note(1, note, "Readable")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Readable"));
  std::vector<MirrorEvent> imports = b->ended(MirrorEvent::Type::Import);
  ASSERT_FALSE(imports.empty());
  EXPECT_FALSE(imports.back().succeeded);
  ASSERT_TRUE(imports.back().error.has_value());
  EXPECT_THAT(imports.back().error->description, HasSubstr(locked.filename().string()));
}

TEST_F(MirrorImport, AStampFarBeyondThisMachinesClockIsSkippedSoLaterLocalEditsStillWin) {
  auto b = makeDevice("b");
  const Date now = dispatch.clock().now();
  const std::int64_t aDayAhead =
      HybridLogicalClock::physicalStamp(Date{now.secondsSinceReferenceDate + 86400});
  const UUID ahead = UUID::random();
  x.write({x.note(std::numeric_limits<std::int64_t>::max(), note, "from a damaged line"),
           x.note(aDayAhead, ahead, "from a clock a day ahead")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("from a clock a day ahead")) << "a day's lead is still taken";
  std::vector<MirrorEvent> imports = b->ended(MirrorEvent::Type::Import);
  ASSERT_EQ(imports.size(), 1u);
  ASSERT_TRUE(isFailure(imports[0], CloudMirrorErrorCode::UnreadableEntry));
  EXPECT_THAT(imports[0].error->description, HasSubstr("far beyond this machine's clock"));

  // The damaged stamp never reached b's clock: another device still overrides b's next save.
  b->rename("from a clock a day ahead", "edited on b");
  sync();
  y.write({y.note(aDayAhead + (std::int64_t{1} << 32), ahead, "edited later elsewhere")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("edited later elsewhere"));
}

// A wall clock set back by months (a reset battery, a wrong date typed in) is not taken as the
// others all being ahead: what this store has stamped and taken already shows how late it is.
TEST_F(MirrorImport, AStoreWhoseClockWasSetFarBackStillTakesChangesMadeAfterItsOwn) {
  auto b = makeDevice("b");
  b->addNote("written on b");
  sync(2);
  const Date before = dispatch.clock().now();
  dispatch.clock().advanceWall(-std::chrono::hours(24 * 60));
  x.write({x.note(HybridLogicalClock::physicalStamp(Date{before.secondsSinceReferenceDate + 60}), note,
                  "written elsewhere a minute later")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("written elsewhere a minute later", "written on b"));
  ASSERT_FALSE(b->ended(MirrorEvent::Type::Import).empty());
  EXPECT_TRUE(b->ended(MirrorEvent::Type::Import).back().succeeded);
}

TEST_F(MirrorImport, ABacklogIsAppliedChunkByChunkAndAnInterruptedImportResumesWhereItStopped) {
  const std::size_t notes = 2 * kJournalChunkLines + kJournalChunkLines / 2;
  std::vector<JournalEntry> backlog;
  for (std::size_t i = 0; i < notes; ++i)
    backlog.push_back(x.note(static_cast<std::int64_t>(i) + 1, UUID::random(), "note " + std::to_string(i)));
  x.write(backlog);
  auto b =
      makeDevice("b");  // not started yet: the first chunk is applied by hand, as by a mirror killed then

  auto context = b->container().newBackgroundContext();
  Result<IncomingChanges> first = readIncoming(MirrorFolder(testSettings(root()), kContainerIdentifier),
                                               *context, b->device(), HybridLogicalClock(), Date{});
  ASSERT_TRUE(first.ok());
  ASSERT_EQ(first->entries.size(), kJournalChunkLines);
  HybridLogicalClock clock;
  ASSERT_EQ(applyIncoming(*first, *context, clock).value(), ImportOutcome::Applied);
  ASSERT_EQ(b->titles().size(), kJournalChunkLines);

  sync();
  EXPECT_EQ(b->titles().size(), notes);
  EXPECT_EQ(b->history().size(), 3u) << "one transaction per chunk, none read twice";
  EXPECT_EQ(b->ended(MirrorEvent::Type::Import).size(), 1u) << "one import, however many chunks";
}

// Held entries come back the earliest first, as much of them as a journal chunk holds by its lines
// and by its bytes; a held line that no longer reads, or reads as another entry, and a key that
// cannot be read are reported and dropped; the earliest stamp still held is right after every step.
TEST_F(MirrorImport, HeldEntriesAreReleasedEarliestFirstAJournalChunkAtATime) {
  auto b = makeDevice("b");  // never started: the steps are taken by hand
  // With the wall clock at the reference date, the small stamps are within reach and this one is not.
  const std::int64_t beyondReach = HybridLogicalClock::physicalStamp(Date{60 * 86400.0});
  std::vector<HeldEntry> held;  // in the order of their stamps
  const auto hold = [&](const JournalEntry& entry) {
    const std::string line = encodeJournalLine(entry);
    held.push_back({entry.stamp, entry.record, line, journalLineDigest(line)});
  };
  for (std::int64_t clock = 1; clock <= 3; ++clock)
    hold(x.note(clock, UUID::random(), std::string(kJournalChunkBytes * 2 / 5, 'l')));
  for (std::size_t i = 0; i < kJournalChunkLines + 2; ++i)
    hold(x.note(10 + static_cast<std::int64_t>(i), UUID::random(), "short"));
  const std::size_t readable = held.size();
  held.push_back({RecordStamp{20000, x.id}, UUID::random(), "this is no entry"});
  held.push_back(
      {RecordStamp{20001, x.id}, UUID::random(), encodeJournalLine(x.note(20001, note, "of a note"))});
  hold(x.note(beyondReach, UUID::random(), "beyond reach"));
  {
    auto context = b->container().newBackgroundContext();
    MirrorBookkeeping bookkeeping(*context);
    for (auto entry = held.rbegin(); entry != held.rend(); ++entry) bookkeeping.hold(*entry);
    bookkeeping.setEarliestHeld(1);
    context->setMetadataValue("mirror.held.-", "a key that cannot be read, before every other");
    saveOrFail(*context);
  }

  const MirrorFolder folder(testSettings(root()), kContainerIdentifier);
  ASSERT_TRUE(folder.prepare().ok());
  struct Step {
    std::vector<UUID> records;
    std::optional<std::int64_t> earliestStillHeld;
    std::vector<std::string> unreadable;
  };
  HybridLogicalClock clock;
  const auto step = [&] {
    auto context = b->container().newBackgroundContext();
    IncomingChanges incoming = valueOrFail(readIncoming(
        MirrorFolder(testSettings(root()), kContainerIdentifier), *context, b->device(), clock, Date{}));
    EXPECT_TRUE(incoming.releasesHeld);
    Step taken{{}, incoming.earliestStillHeld, incoming.unreadable};
    for (const JournalEntry& entry : incoming.entries) taken.records.push_back(entry.record);
    EXPECT_EQ(valueOrFail(applyIncoming(incoming, *context, clock)), ImportOutcome::Applied);
    return taken;
  };
  const auto recordsOf = [&](std::size_t first, std::size_t end) {
    std::vector<UUID> records;
    for (std::size_t i = first; i < end; ++i) records.push_back(held[i].record);
    return records;
  };

  Step first = step();
  EXPECT_EQ(first.records, recordsOf(0, 2)) << "two long lines fill a chunk's bytes";
  EXPECT_EQ(first.earliestStillHeld, 3);
  EXPECT_THAT(first.unreadable, ElementsAre("a held entry whose key cannot be read"));
  Step second = step();
  EXPECT_EQ(second.records, recordsOf(2, 2 + kJournalChunkLines)) << "then as many as a chunk's lines";
  EXPECT_EQ(second.earliestStillHeld, held[2 + kJournalChunkLines].stamp.clock);
  EXPECT_THAT(second.unreadable, IsEmpty());
  Step third = step();
  EXPECT_EQ(third.records, recordsOf(2 + kJournalChunkLines, readable));
  EXPECT_EQ(third.earliestStillHeld, beyondReach);
  EXPECT_THAT(third.unreadable,
              ElementsAre(HasSubstr("a held entry: "), "a held entry that does not match its line"));

  auto context = b->container().newBackgroundContext();
  EXPECT_FALSE(valueOrFail(readIncoming(folder, *context, b->device(), clock, Date{})).foundAnything())
      << "what is left is beyond reach";
  EXPECT_EQ(valueOrFail(MirrorBookkeeping(*context).earliestHeld()), beyondReach);
  EXPECT_EQ(valueOrFail(context->metadataValues("mirror.held.")).size(), 1u);
  EXPECT_EQ(b->titles().size(), readable);
}

TEST_F(MirrorImport, RecordStatesAnOlderVersionKeptAsMetadataTextsStillDecideWhichWriteWins) {
  const UUID deleted = UUID::random();
  auto b = makeDevice("b");  // not started yet: its store is as an older version left it
  {
    auto context = b->container().newBackgroundContext();
    const std::string stamp = "100 " + x.id.uuidString();
    context->setMetadataValue("mirror.record." + note.uuidString(), stamp + " live Note");
    context->setMetadataValue("mirror.record." + deleted.uuidString(), stamp + " deleted Note");
    context->setMetadataValue("mirror.record.unreadable", "100");
    saveOrFail(*context);
  }
  y.write({y.note(50, note, "older than the kept state"), y.note(60, deleted, "older than the deletion")});
  sync();
  EXPECT_THAT(b->titles(), IsEmpty());

  y.write({y.note(150, note, "newer")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("newer"));
  EXPECT_TRUE(valueOrFail(b->container().newBackgroundContext()->metadataValues("mirror.record.")).empty())
      << "the texts were moved, not copied";
}

TEST_F(MirrorImport, ALineOverTheLimitIsReportedOnceAndTheLinesAfterItAreApplied) {
  auto b = makeDevice("b");
  x.writeRaw(std::string(kJournalLineLimit + 1, '{'));
  sync();
  EXPECT_EQ(b->ended(MirrorEvent::Type::Import).size(), 1u);
  x.writeRaw("\n");
  x.write({x.note(1, note, "After the long line")});
  sync(2);

  EXPECT_THAT(b->titles(), ElementsAre("After the long line"));
  std::vector<MirrorEvent> imports = b->ended(MirrorEvent::Type::Import);
  ASSERT_EQ(imports.size(), 2u);
  ASSERT_TRUE(isFailure(imports[0], CloudMirrorErrorCode::UnreadableEntry));
  EXPECT_THAT(imports[0].error->description, HasSubstr("longer than"));
  EXPECT_TRUE(imports[1].succeeded);
}

TEST_F(MirrorImport, AJournalReadAgainFromItsStartChangesNothing) {
  auto b = makeDevice("b");
  x.write({x.note(1, note, "Once"), x.page(2, page, "p", note)});
  sync();
  const std::size_t transactions = b->history().size();

  // A sync tool replaces the journal with a shorter copy holding the same first entry.
  std::filesystem::remove(x.file());
  x.write({x.note(1, note, "Once")});
  sync();
  EXPECT_THAT(b->titles(), ElementsAre("Once"));
  EXPECT_THAT(b->pages(), ElementsAre("p@Once"));
  EXPECT_EQ(b->history().size(), transactions) << "nothing to change, so no change recorded";
}

TEST_F(MirrorImport, NothingIsAppliedWhileTheStoreHasChangesNotYetExported) {
  auto b = makeDevice("b");  // never started: its mirror has exported nothing
  b->addNote("Local");
  x.write({x.note(1, note, "Remote")});

  auto context = b->container().newBackgroundContext();
  Result<IncomingChanges> incoming = readIncoming(MirrorFolder(testSettings(root()), kContainerIdentifier),
                                                  *context, b->device(), HybridLogicalClock(), Date{});
  ASSERT_TRUE(incoming.ok());
  ASSERT_EQ(incoming->entries.size(), 1u);
  HybridLogicalClock clock;
  Result<ImportOutcome> outcome = applyIncoming(*incoming, *context, clock);
  ASSERT_TRUE(outcome.ok());
  EXPECT_EQ(*outcome, ImportOutcome::LocalChangesFirst);
  EXPECT_THAT(b->titles(), ElementsAre("Local"));

  // Once exported, the import goes through.
  auto exporter = b->container().newBackgroundContext();
  Result<PendingExport> pending = collectExport(*exporter, b->device(), clock);
  ASSERT_TRUE(pending.ok());
  ASSERT_TRUE(commitExport(*pending, *exporter, journals() / "b.jsonl", clock).ok());
  auto retry = b->container().newBackgroundContext();
  incoming = readIncoming(MirrorFolder(testSettings(root()), kContainerIdentifier), *retry, b->device(),
                          HybridLogicalClock(), Date{});
  ASSERT_TRUE(incoming.ok());
  outcome = applyIncoming(*incoming, *retry, clock);
  ASSERT_TRUE(outcome.ok());
  EXPECT_EQ(*outcome, ImportOutcome::Applied);
  EXPECT_THAT(b->titles(), ElementsAre("Local", "Remote"));
}

}  // namespace
}  // namespace platform
