// Journal lines and files: what is written is read back the same, and what cannot be trusted is
// refused or left for later.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>

#include <nlohmann/json.hpp>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/JournalWrites.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const UUID kDevice = *UUID::fromString("0F6A7C5E-2B51-4C8E-9E2A-7D3B1C6F0A11");
const UUID kNote = *UUID::fromString("9B1D2E3F-4A5B-4C6D-8E7F-0A1B2C3D4E5F");

JournalEntry noteSave() {
  JournalEntry entry;
  entry.stamp = RecordStamp{123456789, kDevice};
  entry.entity = "Note";
  entry.record = kNote;
  entry.fields.attributes = {{"id", AttributeValue(kNote)},
                             {"title", AttributeValue(std::string("Line\nbreak \"quoted\" äöü"))},
                             {"tags", AttributeValue(Bytes{0, 1, 2, 255})},
                             {"pinned", AttributeValue(true)},
                             {"updatedAt", AttributeValue(Date{700000000.25})}};
  return entry;
}

// The line with one member replaced: `edit` changes the parsed object.
std::string edited(const std::string& line, const std::function<void(nlohmann::json&)>& edit) {
  nlohmann::json json = nlohmann::json::parse(line);
  edit(json);
  return json.dump();
}

class JournalLines : public ::testing::Test {
 protected:
  std::shared_ptr<const ManagedObjectModel> model = makeNotebookModel();

  Error refusal(const std::string& line) {
    Result<JournalEntry> decoded = decodeJournalLine(line, *model);
    EXPECT_FALSE(decoded.ok()) << line;
    return decoded ? Error() : decoded.error();
  }
};

TEST_F(JournalLines, EverySortOfValueSurvivesTheLine) {
  JournalEntry note = noteSave();
  JournalEntry page;
  page.stamp = RecordStamp{5, kDevice};
  page.entity = "Page";
  page.record = UUID::random();
  page.fields.attributes = {{"content", AttributeValue(std::string())},
                            {"number", AttributeValue(std::int64_t{-7})}};
  page.fields.references = {{"note", kNote}};
  JournalEntry detached = page;
  detached.fields.references = {{"note", std::nullopt}};
  JournalEntry deletion;
  deletion.stamp = RecordStamp{6, kDevice};
  deletion.operation = JournalEntry::Operation::Delete;
  deletion.entity = "Note";
  deletion.record = kNote;

  for (const JournalEntry& entry : {note, page, detached, deletion}) {
    const std::string line = encodeJournalLine(entry);
    EXPECT_EQ(line.find('\n'), std::string::npos) << "one entry, one line";
    Result<JournalEntry> decoded = decodeJournalLine(line, *model);
    ASSERT_TRUE(decoded.ok()) << decoded.error().debugDescription();
    EXPECT_EQ(*decoded, entry) << line;
  }
}

// Only a deletion made on its own says so: lines without the key, those of older versions included,
// are deletions that went with the owner's, and so is any value but true.
TEST_F(JournalLines, ADeletionMadeOnItsOwnSaysSoAndEveryOtherReadsAsGoneWithItsOwner) {
  JournalEntry alone;
  alone.stamp = RecordStamp{7, kDevice};
  alone.operation = JournalEntry::Operation::Delete;
  alone.entity = "Page";
  alone.record = UUID::random();
  alone.alone = true;
  const std::string line = encodeJournalLine(alone);
  EXPECT_NE(line.find("\"alone\":true"), std::string::npos) << line;
  EXPECT_EQ(valueOrFail(decodeJournalLine(line, *model)), alone);

  JournalEntry withOwner = alone;
  withOwner.alone = false;
  EXPECT_EQ(encodeJournalLine(withOwner).find("alone"), std::string::npos) << "older readers meet no new key";
  const std::string record = alone.record.uuidString();
  for (const char* value : {"false", "\"true\"", "1", "null"}) {
    const std::string odd = R"({"clock":7,"device":")" + kDevice.uuidString() +
                            R"(","op":"delete","entity":"Page","record":")" + record + R"(","alone":)" +
                            value + "}";
    EXPECT_EQ(valueOrFail(decodeJournalLine(odd, *model)), withOwner) << odd;
  }
}

TEST_F(JournalLines, ValuesThatDoNotFitTheModelMakeTheLineUnreadable) {
  const std::string note = encodeJournalLine(noteSave());
  const auto field = [&](const std::string& name, nlohmann::json value) {
    return edited(note, [&](nlohmann::json& json) { json["fields"][name] = value; });
  };
  const auto member = [&](const std::string& name, nlohmann::json value) {
    return edited(note, [&](nlohmann::json& json) { json[name] = value; });
  };
  EXPECT_TRUE(isCloudMirrorError(refusal("{\"clock\":1"), CloudMirrorErrorCode::UnreadableEntry));
  EXPECT_THAT(refusal("[1,2]").description, HasSubstr("not a JSON object"));
  EXPECT_THAT(refusal(member("entity", "Shelf")).description, HasSubstr("no entity \"Shelf\""));
  EXPECT_THAT(refusal(member("op", "rename")).description, HasSubstr("unknown operation"));
  EXPECT_THAT(refusal(member("clock", -1)).description, HasSubstr("no clock"));
  EXPECT_THAT(refusal(member("device", "nobody")).description, HasSubstr("no device"));
  EXPECT_THAT(refusal(member("fields", 3)).description, HasSubstr("not an object"));
  EXPECT_THAT(refusal(field("pinned", "yes")).description, HasSubstr("Note.pinned"));
  EXPECT_THAT(refusal(field("tags", "not base64!")).description, HasSubstr("Note.tags"));
  EXPECT_THAT(refusal(field("title", nullptr)).description, HasSubstr("required but null"));
  EXPECT_THAT(refusal(field("updatedAt", "yesterday")).description, HasSubstr("Note.updatedAt"));

  JournalEntry page;
  page.stamp = RecordStamp{5, kDevice};
  page.entity = "Page";
  page.record = UUID::random();
  page.fields.attributes = {{"number", AttributeValue(std::int64_t{1})}};
  page.fields.references = {{"note", kNote}};
  const std::string pageLine = encodeJournalLine(page);
  const auto pageField = [&](const std::string& name, nlohmann::json value) {
    return edited(pageLine, [&](nlohmann::json& json) { json["fields"][name] = value; });
  };
  EXPECT_THAT(refusal(pageField("number", 2147483648LL)).description, HasSubstr("Page.number"));
  EXPECT_THAT(refusal(pageField("number", 1.5)).description, HasSubstr("Page.number"));
  EXPECT_THAT(refusal(pageField("number", std::numeric_limits<std::uint64_t>::max())).description,
              HasSubstr("Page.number"))
      << "2^64-1 is no -1";
  EXPECT_THAT(refusal(pageField("note", 42)).description, HasSubstr("names no record"));
}

TEST_F(JournalLines, FieldsTheModelDoesNotKnowAreIgnoredAndAbsentOnesKeepTheirDefault) {
  JournalEntry entry = noteSave();
  const std::string line = edited(encodeJournalLine(entry), [](nlohmann::json& json) {
    json["fields"]["colour"] = "blue";
    json["fields"]["pages"] = nlohmann::json::array({"ignored"});
    json["comment"] = "from a newer program";
  });
  Result<JournalEntry> decoded = decodeJournalLine(line, *model);
  ASSERT_TRUE(decoded.ok()) << decoded.error().debugDescription();
  EXPECT_EQ(*decoded, entry);

  entry.fields.attributes.erase("title");  // required, but the model has a default for it
  decoded = decodeJournalLine(encodeJournalLine(entry), *model);
  ASSERT_TRUE(decoded.ok());
  EXPECT_FALSE(decoded->fields.attributes.count("title"));
}

// Lines are read as text, not through a document: a member given twice counts with its last value,
// and arrays or objects where a value belongs are no value.
TEST_F(JournalLines, TheLastOfTwiceGivenMembersCountsAndNestedValuesAreNone) {
  const std::string line = encodeJournalLine(noteSave());
  const std::string body = line.substr(1, line.size() - 2);
  Result<JournalEntry> decoded = decodeJournalLine(
      "{\"op\":\"delete\",\"fields\":[1,{\"title\":2}]," + body +
          ",\"fields\":{\"title\":{}},\"fields\":" + nlohmann::json::parse(line)["fields"].dump() + "}",
      *model);
  ASSERT_TRUE(decoded.ok()) << decoded.error().debugDescription();
  EXPECT_EQ(*decoded, noteSave());

  EXPECT_THAT(refusal("{" + body + ",\"fields\":[]}").description, HasSubstr("not an object"));
  EXPECT_THAT(refusal("{" + body + ",\"fields\":{\"title\":[\"x\"]}}").description, HasSubstr("Note.title"));
  EXPECT_THAT(refusal("{" + body + "} {}").description, HasSubstr("not a JSON object"));
  EXPECT_THAT(refusal("\"" + body + "\"").description, HasSubstr("not a JSON object"));
}

TEST_F(JournalLines, AnInfiniteDateTravelsAsTheFarthestFiniteOneInsteadOfAsNull) {
  for (const double infinity : {HUGE_VAL, -HUGE_VAL}) {
    JournalEntry entry = noteSave();
    entry.fields.attributes["updatedAt"] = Date{infinity};
    Result<JournalEntry> decoded = decodeJournalLine(encodeJournalLine(entry), *model);
    ASSERT_TRUE(decoded.ok()) << decoded.error().debugDescription();
    const std::optional<AttributeValue>& date = decoded->fields.attributes.at("updatedAt");
    ASSERT_TRUE(date && std::holds_alternative<Date>(*date));
    EXPECT_EQ(std::get<Date>(*date).secondsSinceReferenceDate,
              infinity > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest());
  }
}

TEST_F(JournalLines, TextThatIsNotValidUtf8IsWrittenAnywayWithItsBrokenBytesReplaced) {
  JournalEntry entry = noteSave();
  entry.fields.attributes["title"] = AttributeValue(std::string("ok \xff\xfe end"));
  Result<JournalEntry> decoded = decodeJournalLine(encodeJournalLine(entry), *model);
  ASSERT_TRUE(decoded.ok());
  const std::string title = std::get<std::string>(*decoded->fields.attributes.at("title"));
  EXPECT_EQ(title.substr(0, 3), "ok ");
  EXPECT_EQ(title.substr(title.size() - 4), " end");
}

class JournalFiles : public ::testing::Test {
 protected:
  std::filesystem::path file() const { return folder.path() / "device.jsonl"; }
  void appendRaw(const std::string& bytes) {
    std::ofstream(file(), std::ios::app | std::ios::binary) << bytes;
  }

  TemporaryDirectory folder;
};

TEST_F(JournalFiles, ReadsOnlyCompleteLinesAndPicksUpTheRestOnceItIsThere) {
  Result<JournalPosition> written = appendJournalLines(file(), {"first", "second"});
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(*written, (JournalPosition{13, 6, journalLineDigest("second"), false,
                                       journalLineDigest("first\nsecond\n")}));
  appendRaw("thi");
  Result<JournalRead> read = readJournalLines(file(), {});
  ASSERT_TRUE(read.ok());
  EXPECT_THAT(read->lines, ElementsAre("first", "second"));
  EXPECT_EQ(read->next, *written);

  appendRaw("rd\n");
  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  EXPECT_THAT(read->lines, ElementsAre("third"));
  EXPECT_FALSE(read->restarted);

  const JournalPosition end = read->next;
  read = readJournalLines(file(), end);
  ASSERT_TRUE(read.ok());
  EXPECT_THAT(read->lines, IsEmpty());
  EXPECT_EQ(read->next, end);
  EXPECT_EQ(end.offset, 19u);
}

TEST_F(JournalFiles, AWriterCutsOffItsOwnTornLineSoItNeverBecomesAnUnreadableOne) {
  ASSERT_TRUE(appendJournalLines(file(), {"kept"}).ok());
  appendRaw("{\"clock\":1,\"dev");  // the writer died here
  Result<JournalRead> read = readJournalLines(file(), {});
  ASSERT_TRUE(read.ok());
  EXPECT_THAT(read->lines, ElementsAre("kept")) << "a torn tail is still arriving, not unreadable";

  ASSERT_TRUE(appendJournalLines(file(), {"{\"next\":true}"}).ok());
  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  EXPECT_THAT(read->lines, ElementsAre("{\"next\":true}"));
  EXPECT_EQ(fileContents(file()), "kept\n{\"next\":true}\n");
}

// A shared folder may hold anything under a journal's name; a pipe there would hold an open or a
// read for good, and the mirror with it.
TEST_F(JournalFiles, APipeInAJournalsPlaceIsRefusedAtOnceNeverWaitedOn) {
  ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
  EXPECT_FALSE(readJournalLines(file(), {}).ok());
  EXPECT_FALSE(readJournalLines(file(), JournalPosition{4, 3, journalLineDigest("one")}).ok());
  EXPECT_FALSE(journalHolds(file(), JournalPosition{4, 3, journalLineDigest("one")}).ok());
  EXPECT_FALSE(appendJournalLines(file(), {"one"}).ok());
}

// A link put in a journal's place in the shared folder would have the writer append to, and cut
// the "torn" last line off, whatever file it points at.
TEST_F(JournalFiles, ALinkInAJournalsPlaceIsRefusedAndWhatItPointsAtIsLeftAlone) {
  const std::filesystem::path elsewhere = folder.path() / "notes.txt";
  std::ofstream(elsewhere) << "first line\nlast line without a break";
  std::filesystem::create_symlink(elsewhere, file());
  EXPECT_FALSE(appendJournalLines(file(), {"one"}).ok());
  EXPECT_FALSE(readJournalLines(file(), {}).ok());
  EXPECT_FALSE(journalHolds(file(), JournalPosition{11, 10, journalLineDigest("first line")}).ok());
  EXPECT_EQ(fileContents(elsewhere), "first line\nlast line without a break");
}

TEST_F(JournalFiles, AJournalThatNoLongerHoldsThePositionIsReadFromItsStart) {
  ASSERT_TRUE(appendJournalLines(file(), {"one", "two"}).ok());
  Result<JournalRead> read = readJournalLines(file(), {});
  ASSERT_TRUE(read.ok());
  const JournalPosition position = read->next;
  ASSERT_TRUE(journalHolds(file(), position).value());

  // Rolled back to an older copy that has grown since: as long, but other lines.
  std::filesystem::remove(file());
  ASSERT_TRUE(appendJournalLines(file(), {"uno", "dos"}).ok());
  EXPECT_FALSE(journalHolds(file(), position).value());
  read = readJournalLines(file(), position);
  ASSERT_TRUE(read.ok());
  EXPECT_TRUE(read->restarted);
  EXPECT_THAT(read->lines, ElementsAre("uno", "dos"));

  // Emptied, and deleted.
  std::filesystem::resize_file(file(), 0);
  EXPECT_FALSE(journalHolds(file(), read->next).value());
  std::filesystem::remove(file());
  EXPECT_FALSE(journalHolds(file(), read->next).value());
  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  EXPECT_TRUE(read->restarted);
  EXPECT_EQ(read->next, JournalPosition{});
  EXPECT_TRUE(journalHolds(file(), JournalPosition{}).value()) << "the start is held by any file";
}

TEST_F(JournalFiles, ABacklogIsReadInBoundedChunks) {
  constexpr std::size_t kHalfChunk = kJournalChunkLines / 2;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < 2 * kJournalChunkLines + kHalfChunk; ++i)
    lines.push_back("line " + std::to_string(i));
  ASSERT_TRUE(appendJournalLines(file(), lines).ok());
  std::vector<std::size_t> chunks;
  JournalPosition position;
  for (;;) {
    Result<JournalRead> read = readJournalLines(file(), position);
    ASSERT_TRUE(read.ok());
    if (read->lines.empty()) break;
    EXPECT_FALSE(read->restarted) << "each position names the head the file has";
    chunks.push_back(read->lines.size());
    position = read->next;
  }
  EXPECT_THAT(chunks, ElementsAre(kJournalChunkLines, kJournalChunkLines, kHalfChunk));
  EXPECT_EQ(position, valueOrFail(appendJournalLines(file(), {}))) << "as a writer names its end";
}

TEST_F(JournalFiles, ALineOverTheLimitIsSkippedOnceEvenBeforeItsLineBreakArrives) {
  ASSERT_TRUE(appendJournalLines(file(), {"before"}).ok());
  appendRaw(std::string(kJournalLineLimit + 10, 'x'));
  Result<JournalRead> read = readJournalLines(file(), {});
  ASSERT_TRUE(read.ok());
  EXPECT_THAT(read->lines, ElementsAre("before"));

  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  EXPECT_TRUE(read->skippedLongLine);
  EXPECT_THAT(read->lines, IsEmpty());
  EXPECT_TRUE(read->next.insideLongLine);

  appendRaw("more of the same");
  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  EXPECT_FALSE(read->skippedLongLine) << "reported once";
  EXPECT_TRUE(read->next.insideLongLine);

  appendRaw("\nafter\n");
  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  EXPECT_FALSE(read->skippedLongLine);
  EXPECT_THAT(read->lines, ElementsAre("after"));
  EXPECT_TRUE(journalHolds(file(), read->next).value());
}

TEST_F(JournalFiles, APositionAfterASkippedLineHoldsSoTheLinesAfterItAreReadOnce) {
  ASSERT_TRUE(appendJournalLines(file(), {"before"}).ok());
  appendRaw(std::string(kJournalLineLimit + 10, 'x') + "\n");
  Result<JournalRead> read = readJournalLines(file(), {});
  ASSERT_TRUE(read.ok());
  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  ASSERT_TRUE(read->skippedLongLine);
  EXPECT_TRUE(journalHolds(file(), read->next).value());

  appendRaw("after\n");
  read = readJournalLines(file(), read->next);
  ASSERT_TRUE(read.ok());
  EXPECT_FALSE(read->restarted) << "a restart would meet the long line again, and again";
  EXPECT_THAT(read->lines, ElementsAre("after"));
}

// A journal started again that holds the very line at the very offset, after other lines of the
// same length: a store writing its state again in the same order after a change of equal length.
TEST_F(JournalFiles, AJournalStartedAgainWithTheSameLineAtTheSameOffsetIsReadFromItsStart) {
  const JournalPosition read = valueOrFail(appendJournalLines(file(), {"title one", "state"}));
  std::filesystem::remove(file());
  ASSERT_TRUE(appendJournalLines(file(), {"title two", "state"}).ok());

  EXPECT_FALSE(valueOrFail(journalHolds(file(), read)));
  const JournalRead again = valueOrFail(readJournalLines(file(), read));
  EXPECT_TRUE(again.restarted);
  EXPECT_THAT(again.lines, ElementsAre("title two", "state"));
  EXPECT_TRUE(valueOrFail(journalHolds(file(), again.next))) << "the same file, read to its end";
}

TEST_F(JournalFiles, PositionsSurviveTheirTextAndABareOffsetStillReads) {
  const JournalPosition position{12345, 67, 18446744073709551615ull, false, 42};
  EXPECT_EQ(JournalPosition::parse(position.serialized()), position);
  const JournalPosition skipping{9, 0, 0, true, 7};
  EXPECT_EQ(JournalPosition::parse(skipping.serialized()), skipping);
  EXPECT_EQ(JournalPosition::parse("42"), (JournalPosition{42, 0, 0, false}));
  EXPECT_EQ(JournalPosition::parse("42 5 9"), (JournalPosition{42, 5, 9, false})) << "kept without a head";
  EXPECT_EQ(JournalPosition::parse("42 5 9 long"), (JournalPosition{42, 5, 9, true}));
  for (const char* damaged :
       {"42 x 1", "", "42 5", "42 5 9 h", "42 5 9 hx", "42 5 9 h1 long", "42 5 9 h1 h2"})
    EXPECT_EQ(JournalPosition::parse(damaged), std::nullopt) << damaged;
}

TEST_F(JournalFiles, AMissingFileReadsAsEmptyAndAnUnwritableOneIsANetworkFailure) {
  Result<JournalRead> read = readJournalLines(file(), {});
  ASSERT_TRUE(read.ok());
  EXPECT_THAT(read->lines, IsEmpty());

  std::filesystem::create_directories(file());  // a folder where the journal should be
  Result<JournalPosition> appended = appendJournalLines(file(), {"x"});
  ASSERT_FALSE(appended.ok());
  EXPECT_TRUE(isCloudMirrorError(appended.error(), CloudMirrorErrorCode::NetworkFailure));
  EXPECT_THAT(appended.error().description, HasSubstr(file().string()));
}

// A journal holds a write by a line any machine can read, however its members are laid out; a line
// that names the write but cannot be read, or names the record under another stamp, holds nothing,
// nor does a journal that is missing.
TEST_F(JournalFiles, AJournalHoldsTheWritesOfItsReadableLinesOnly) {
  const std::shared_ptr<const ManagedObjectModel> model = makeNotebookModel();
  const auto write = [](std::int64_t clock) { return RecordWrite{kNote, RecordStamp{clock, kDevice}}; };
  JournalEntry entry = noteSave();
  const auto lineAt = [&](std::int64_t clock) {
    entry.stamp.clock = clock;
    return encodeJournalLine(entry);
  };
  // The same members, record first and clock last, as another writer may order them.
  const nlohmann::json second = nlohmann::json::parse(lineAt(2));
  std::string recordFirst;
  for (const char* member : {"record", "op", "fields", "entity", "device", "clock"})
    recordFirst +=
        (recordFirst.empty() ? "{" : ",") + nlohmann::json(member).dump() + ":" + second[member].dump();
  recordFirst += "}";
  const std::string unreadable = edited(lineAt(3), [](nlohmann::json& json) { json["fields"]["title"] = 7; });
  ASSERT_TRUE(appendJournalLines(file(), {lineAt(1), recordFirst, unreadable, lineAt(5)}).ok());

  // Under one stamp, only the line whose digest is wanted holds the write.
  const std::uint64_t atFive = journalEntryDigest(valueOrFail(decodeJournalLine(lineAt(5), *model)));
  RecordWrite otherLineAtFive{kNote, RecordStamp{5, kDevice}, atFive + 1};
  RecordWrite lineAtFive{kNote, RecordStamp{5, kDevice}, atFive};

  const std::set<RecordWrite> missing =
      writesNoJournalHolds({file(), folder.path() / "gone.jsonl"},
                           {write(1), write(2), write(3), write(4), lineAtFive, otherLineAtFive}, *model);
  EXPECT_THAT(missing, ElementsAre(write(3), write(4), otherLineAtFive));
}

}  // namespace
}  // namespace platform
