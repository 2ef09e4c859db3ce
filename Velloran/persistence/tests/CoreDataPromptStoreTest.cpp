// What the persistent store does beyond the repository contract: how it keeps versions, how it
// reads rows it did not write, what it refuses, and that what it writes lasts.

#include "Velloran/persistence/CoreDataPromptStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "Velloran/data/VersionStamps.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "Velloran/persistence/testing/PersistenceTestSupport.h"
#include "platform/json/Json.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran::testing {
namespace {

// An identifier as the store keeps it: its sixteen bytes, as an SQL blob literal.
std::string sqlBlob(const platform::UUID& id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string literal = "x'";
  for (std::uint8_t byte : id.bytes()) {
    literal += kHex[byte >> 4];
    literal += kHex[byte & 0xF];
  }
  return literal + "'";
}

class CoreDataPromptStoreTest : public ::testing::Test {
 protected:
  platform::testing::RawDatabase raw() { return platform::testing::RawDatabase(support_.storePath()); }

  std::int64_t versionRows(const std::string& condition = "1") {
    return raw().count("SELECT count(*) FROM ZVERSIONENTITY WHERE " + condition);
  }

  std::vector<platform::HistoryTransaction> history() {
    auto transactions = stack_.container()->viewContext()->fetchHistory(std::nullopt);
    EXPECT_TRUE(transactions.ok());
    return transactions.ok() ? *transactions : std::vector<platform::HistoryTransaction>{};
  }

  static Prompt withVersions(Prompt prompt, std::vector<std::pair<std::int64_t, std::string>> versions) {
    prompt.versions.clear();
    std::uint8_t id = 200;
    for (auto& [number, content] : versions) {
      prompt.versions.push_back(
          PromptVersion{testUUID(id++), prompt.id, content, "", number, prompt.createdAt});
    }
    return prompt;
  }

  // The prompt as the store keeps it once `withVersions` gave it versions of one stamp, saved together:
  // in the order of their numbers, each stamped one tick after the one before it.
  static Prompt savedTogether(Prompt prompt) {
    std::ranges::sort(prompt.versions, {}, &PromptVersion::versionNumber);
    std::optional<platform::Date> previous;
    for (PromptVersion& version : prompt.versions)
      previous = version.createdAt = stampAfter(previous, version.createdAt);
    return prompt;
  }

  platform::DeterministicDispatch dispatch_;
  TemporaryApplicationSupport support_;
  CoreDataStack stack_{false};
  std::shared_ptr<CoreDataPromptStore> store_ =
      std::make_shared<CoreDataPromptStore>(stack_.container(), dispatch_.sharedClock());
  RepositoryCalls calls_{dispatch_, *store_};
};

TEST_F(CoreDataPromptStoreTest, SavingKeepsTheVersionsTheCallerLeftOutAndUpdatesThoseItNames) {
  const Prompt given = withVersions(makePrompt({}), {{1, "one"}, {2, "two"}});
  ASSERT_TRUE(calls_.save(given).ok());
  const Prompt first = savedTogether(given);
  // An editor opened before the second version arrived saves its own copy with a third.
  Prompt stale = first;
  stale.versions = {first.versions[0],
                    PromptVersion{testUUID(90), first.id, "three", "", 3,
                                  platform::Date{first.createdAt.secondsSinceReferenceDate + 50}}};
  stale.versions[0].notes = "annotated";
  ASSERT_TRUE(calls_.save(stale).ok());

  Prompt expected = stale;
  expected.versions.insert(expected.versions.begin() + 1, first.versions[1]);
  EXPECT_EQ(calls_.fetchAll(), std::vector<Prompt>{expected});
  EXPECT_EQ(versionRows(), 3) << "one row per version id, however often it is saved";
  EXPECT_EQ(versionRows("ZPROMPT IS NULL"), 0);

  ASSERT_TRUE(calls_.remove({first.id}).ok());
  EXPECT_TRUE(calls_.fetchAll().empty());
  EXPECT_EQ(versionRows(), 0);
}

TEST_F(CoreDataPromptStoreTest, VersionsAreOrderedByTimeThenNumberThenIdNumberedUpwardAndEqualIdsAreOne) {
  Prompt prompt = makePrompt({});
  prompt.versions = {PromptVersion{testUUID(203), prompt.id, "later", "", 2, platform::Date{50}},
                     PromptVersion{testUUID(202), prompt.id, "b", "", 2, platform::Date{40}},
                     PromptVersion{testUUID(201), prompt.id, "a", "", 2, platform::Date{40}},
                     PromptVersion{testUUID(200), prompt.id, "first", "", 1, platform::Date{60}}};
  ASSERT_TRUE(calls_.save(prompt).ok());
  // A store written before versions were one record each may hold two objects of one version.
  raw().execute(
      "INSERT INTO ZVERSIONENTITY (Z_PK, Z_OPT, Z_UUID, ZID, ZPROMPTREF, ZCONTENT, ZNOTES, "
      "ZVERSIONNUMBER, ZCREATEDAT, ZPROMPT) SELECT 900, 1, randomblob(16), ZID, ZPROMPTREF, "
      "ZCONTENT, ZNOTES, ZVERSIONNUMBER, ZCREATEDAT, ZPROMPT FROM ZVERSIONENTITY WHERE ZCONTENT = 'b'");
  ASSERT_EQ(versionRows(), 5);

  const std::vector<Prompt> prompts = calls_.fetchAll();
  ASSERT_EQ(prompts.size(), 1u);
  std::vector<std::string> contents;
  std::vector<std::int64_t> numbers;
  for (const PromptVersion& version : prompts[0].versions) {
    contents.push_back(version.content);
    numbers.push_back(version.versionNumber);
  }
  // Written last, whatever it was numbered, so it is the current one.
  EXPECT_EQ(contents, (std::vector<std::string>{"a", "b", "later", "first"}));
  EXPECT_EQ(numbers, (std::vector<std::int64_t>{2, 3, 4, 5}));
}

// A clock that ran ahead and was set back between saves: every version saved here still comes after
// the ones the prompt held, whichever way it was added, and keeps the place it was given.
TEST_F(CoreDataPromptStoreTest, VersionsSavedAfterTheClockWasSetBackComeAfterTheOnesBefore) {
  platform::ManualClock& clock = dispatch_.clock();
  Prompt editor = makePrompt({});
  editor.versions = {PromptVersion{testUUID(200), editor.id, "base", "", 1, clock.now()}};
  ASSERT_TRUE(calls_.save(editor).ok());

  clock.advanceWall(-std::chrono::hours(1));
  const PromptVersion appended{testUUID(201), editor.id, "back-1h", "", 2, clock.now()};
  ASSERT_TRUE(calls_.addVersion(appended, editor.id).ok());

  // The editor saves its own copy: the version above with the stamp it was given, and one more.
  clock.advanceWall(-std::chrono::hours(1));
  editor.versions.push_back(appended);
  editor.versions.push_back(PromptVersion{testUUID(202), editor.id, "back-2h", "", 3, clock.now()});
  ASSERT_TRUE(calls_.save(editor).ok());

  const std::vector<Prompt> prompts = calls_.fetchAll();
  ASSERT_EQ(prompts.size(), 1u);
  const std::vector<PromptVersion>& versions = prompts[0].versions;
  std::vector<std::pair<std::int64_t, std::string>> listed;
  for (const PromptVersion& version : versions) listed.emplace_back(version.versionNumber, version.content);
  EXPECT_EQ(listed,
            (std::vector<std::pair<std::int64_t, std::string>>{{1, "base"}, {2, "back-1h"}, {3, "back-2h"}}));
  ASSERT_EQ(versions.size(), 3u);
  EXPECT_EQ(versions[0].createdAt, editor.versions[0].createdAt) << "the first keeps its stamp";
  for (std::size_t index = 1; index < versions.size(); ++index) {
    EXPECT_GE(versions[index].createdAt.secondsSinceReferenceDate,
              versions[index - 1].createdAt.secondsSinceReferenceDate + 0.001)
        << "one tick after the version before it";
  }
  EXPECT_EQ(raw().count("SELECT count(DISTINCT ZVERSIONNUMBER) FROM ZVERSIONENTITY WHERE ZVERSIONNUMBER "
                        "BETWEEN 1 AND 3"),
            3)
      << "the stored numbers are those listed";
}

// Versions saved together with one stamp keep the order of their numbers by taking stamps of their
// own, so that the order every machine gives them, which reads no number, is the same.
TEST_F(CoreDataPromptStoreTest, VersionsComeInNumberOrderWhateverTheSavedOrder) {
  const Prompt given = withVersions(makePrompt({}), {{3, "c"}, {1, "a"}, {2, "b"}});
  ASSERT_TRUE(calls_.save(given).ok());
  const auto prompts = calls_.fetchAll();
  ASSERT_EQ(prompts.size(), 1u);
  std::vector<std::string> contents;
  for (const PromptVersion& version : prompts[0].versions) contents.push_back(version.content);
  EXPECT_EQ(contents, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(prompts[0], savedTogether(given));

  // Added together to a prompt whose newest version is later than the ones they were given.
  Prompt more = prompts[0];
  more.versions.push_back(PromptVersion{testUUID(210), more.id, "e", "", 5, platform::Date{1}});
  more.versions.push_back(PromptVersion{testUUID(211), more.id, "d", "", 4, platform::Date{1}});
  ASSERT_TRUE(calls_.save(more).ok());
  contents.clear();
  const std::vector<Prompt> stored = calls_.fetchAll();
  for (const PromptVersion& version : stored.at(0).versions) contents.push_back(version.content);
  EXPECT_EQ(contents, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(raw().count("SELECT count(DISTINCT ZCREATEDAT) FROM ZVERSIONENTITY"), 5);
}

TEST_F(CoreDataPromptStoreTest, VersionNumbersBeyond32BitsAreRefusedNotCut) {
  const Prompt stored = makePrompt({.title = "kept"});
  ASSERT_TRUE(calls_.save(stored).ok());

  constexpr std::int64_t kTooLarge = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  constexpr std::int64_t kTooSmall = std::int64_t{std::numeric_limits<std::int32_t>::min()} - 1;
  Prompt changed = withVersions(stored, {{1, "a"}, {kTooLarge, "b"}});
  changed.title = "changed";
  auto saved = calls_.save(changed);
  ASSERT_FALSE(saved.ok());
  EXPECT_TRUE(
      isPersistentStoreError(saved.error(), platform::PersistentStoreErrorCode::ValidationNumberTooLarge))
      << saved.error().debugDescription();

  auto appended =
      calls_.addVersion(PromptVersion{testUUID(91), stored.id, "x", "", kTooSmall, {}}, stored.id);
  ASSERT_FALSE(appended.ok());
  EXPECT_TRUE(
      isPersistentStoreError(appended.error(), platform::PersistentStoreErrorCode::ValidationNumberTooSmall));

  // The largest and smallest numbers that fit are kept exactly (on a prompt of their own: added to
  // one that holds a version, they would follow it and be numbered after it).
  EXPECT_EQ(calls_.fetchAll(), std::vector<Prompt>{stored});
  const Prompt extremes = withVersions(makePrompt({.id = 2, .title = "extremes", .updatedAt = 2000}),
                                       {{std::numeric_limits<std::int32_t>::min(), "low"},
                                        {std::numeric_limits<std::int32_t>::max(), "high"}});
  ASSERT_TRUE(calls_.save(extremes).ok());
  EXPECT_EQ(calls_.fetchAll(), (std::vector<Prompt>{savedTogether(extremes), stored}));
}

TEST_F(CoreDataPromptStoreTest, TitlesAndTextsThatAreNotUtf8AreRefusedRatherThanMangledElsewhere) {
  const Prompt stored = makePrompt({.title = "kept"});
  ASSERT_TRUE(calls_.save(stored).ok());
  Prompt badTitle = stored;
  badTitle.title = "caf\xE9";  // Latin-1, as a careless import might hand it over
  Prompt badText = withVersions(stored, {{1, "fine"}, {2, "truncated \xE2\x82"}});
  for (const Prompt& broken : {badTitle, badText}) {
    auto saved = calls_.save(broken);
    ASSERT_FALSE(saved.ok());
    EXPECT_TRUE(isPersistentStoreError(saved.error(), platform::PersistentStoreErrorCode::ValidationFailed));
    EXPECT_NE(saved.error().description.find("not valid UTF-8"), std::string::npos)
        << saved.error().description;
  }
  EXPECT_FALSE(calls_.addVersion(PromptVersion{testUUID(95), stored.id, "\xFF", "", 2, {}}, stored.id).ok());
  EXPECT_EQ(calls_.fetchAll(), std::vector<Prompt>{stored}) << "nothing of the refused saves was written";
}

TEST_F(CoreDataPromptStoreTest, TagsThatAreNotTextAreRefusedRatherThanDropped) {
  const Prompt stored = makePrompt({.tags = {"kept"}});
  ASSERT_TRUE(calls_.save(stored).ok());
  Prompt broken = stored;
  broken.tags = {"fine", "\xFF\xFE"};
  auto saved = calls_.save(broken);
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(saved.error().domain, platform::kJsonErrorDomain);
  EXPECT_EQ(calls_.fetchAll(), std::vector<Prompt>{stored});
}

TEST_F(CoreDataPromptStoreTest, TagsAreStoredAsAJsonArrayOfStrings) {
  ASSERT_TRUE(calls_.save(makePrompt({.tags = {"b", "ä \"q\""}})).ok());
  EXPECT_EQ(
      raw().count("SELECT count(*) FROM ZPROMPTENTITY WHERE CAST(ZTAGS AS TEXT) = '[\"b\",\"ä \\\"q\\\"\"]'"),
      1);
}

TEST_F(CoreDataPromptStoreTest, RowsThatDoNotReadAsPromptsAreLeftOut) {
  for (std::uint8_t id = 1; id <= 6; ++id) {
    ASSERT_TRUE(
        calls_.save(makePrompt({.id = id, .title = "p" + std::to_string(id), .updatedAt = 100.0 + id})).ok());
  }
  auto rows = raw();
  auto whereId = [](std::uint8_t id) { return " WHERE ZID = " + sqlBlob(testUUID(id)); };
  rows.execute("UPDATE ZPROMPTENTITY SET ZTYPE = 'assistant'" + whereId(1));       // not a known type
  rows.execute("UPDATE ZPROMPTENTITY SET ZTITLE = NULL" + whereId(2));             // required, missing
  rows.execute("UPDATE ZPROMPTENTITY SET ZUPDATEDAT = 'yesterday'" + whereId(3));  // of another kind
  rows.execute("UPDATE ZPROMPTENTITY SET ZID = x'0102'" + whereId(4));             // not an identifier

  EXPECT_EQ(titlesOf(calls_.fetchAll()), (std::vector<std::string>{"p6", "p5"}));
  // Left out, not repaired or deleted.
  EXPECT_EQ(rows.count("SELECT count(*) FROM ZPROMPTENTITY"), 6);
}

TEST_F(CoreDataPromptStoreTest, DamagedTagsFlagsAndVersionsAreReadLeniently) {
  const Prompt prompt = withVersions(makePrompt({.tags = {"a"}, .type = PromptType::system}),
                                     {{1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}});
  ASSERT_TRUE(calls_.save(prompt).ok());
  auto rows = raw();
  rows.execute("UPDATE ZPROMPTENTITY SET ZTAGS = x'5B31325D', ZISSYSTEM = NULL");  // [12], no flag
  rows.execute("UPDATE ZVERSIONENTITY SET ZVERSIONNUMBER = 'two' WHERE ZCONTENT = 'two'");
  rows.execute("UPDATE ZVERSIONENTITY SET ZVERSIONNUMBER = 5000000000 WHERE ZCONTENT = 'three'");
  rows.execute("UPDATE ZVERSIONENTITY SET ZNOTES = NULL WHERE ZCONTENT = 'four'");

  const auto prompts = calls_.fetchAll();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_TRUE(prompts[0].tags.empty());
  EXPECT_FALSE(prompts[0].isSystem);
  EXPECT_EQ(prompts[0].versions, std::vector<PromptVersion>{prompt.versions[0]});
}

// Makes the stored text that fills whole pages of `letter` unreadable, as a damaged disk would: the
// first such page of the store file (the text runs over several) points on to a page that does not
// exist. Then commits through another connection, so the store reads the file afresh.
void damageLongText(const std::filesystem::path& store, char letter) {
  platform::testing::RawDatabase other(store);
  other.execute("PRAGMA wal_checkpoint(TRUNCATE)");
  std::fstream file(store, std::ios::in | std::ios::out | std::ios::binary);
  constexpr std::size_t kPage = 4096;
  std::vector<char> page(kPage);
  for (std::size_t offset = 0; file.read(page.data(), kPage); offset += kPage) {
    if (std::all_of(page.begin() + 4, page.begin() + 404, [letter](char c) { return c == letter; })) {
      file.seekp(static_cast<std::streamoff>(offset));
      file.write("\x7f\xff\xff\xff", 4);
      file.close();
      other.execute("CREATE TABLE touched(x)");
      return;
    }
  }
  FAIL() << "no page of the long text";
}

TEST_F(CoreDataPromptStoreTest, APromptWhoseVersionsCannotBeReadIsLeftOutAndLoggedOnce) {
  std::vector<std::string> log;
  auto store = std::make_shared<CoreDataPromptStore>(
      stack_.container(), dispatch_.sharedClock(), [&log](const std::string& line) { log.push_back(line); });
  RepositoryCalls calls(dispatch_, *store);
  const Prompt damaged =
      makePrompt({.id = 2, .title = "damaged", .updatedAt = 102, .content = std::string(64 * 1024, 'Z')});
  for (const Prompt& prompt : {makePrompt({.id = 1, .title = "older", .updatedAt = 101}), damaged,
                               makePrompt({.id = 3, .title = "newer", .updatedAt = 103})}) {
    ASSERT_TRUE(calls.save(prompt).ok());
  }
  damageLongText(support_.storePath(), 'Z');

  EXPECT_EQ(titlesOf(calls.fetchAll()), (std::vector<std::string>{"newer", "older"}));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Prompt " + damaged.id.uuidString() + " ausgelassen, Versionen nicht lesbar: ", 0),
            0u)
      << log[0];
  ASSERT_TRUE(calls.save(makePrompt({.id = 4, .title = "newest", .updatedAt = 104})).ok());
  EXPECT_EQ(titlesOf(calls.fetchAll()), (std::vector<std::string>{"newest", "newer", "older"}));
  EXPECT_EQ(log.size(), 1u) << "logged once, not at every listing";
}

TEST_F(CoreDataPromptStoreTest, DeleteRemovesEveryPromptWithTheId) {
  // Mirroring can bring a second object with an id already stored.
  const Prompt prompt = makePrompt({});
  ASSERT_TRUE(calls_.save(prompt).ok());
  auto context = stack_.container()->newBackgroundContext();
  platform::ManagedObject twin = context->insertNewObject(model::kPromptEntity);
  twin.setValue(model::kId, prompt.id);
  ASSERT_TRUE(context->save().ok());
  ASSERT_EQ(calls_.fetchAll().size(), 2u);

  ASSERT_TRUE(calls_.remove({prompt.id}).ok());
  EXPECT_TRUE(calls_.fetchAll().empty());
}

// Listings filter a kept copy of the library; whoever changes the store, the next listing shows it.
TEST_F(CoreDataPromptStoreTest, ListingsFollowChangesWhoeverMadeThem) {
  ASSERT_TRUE(calls_.save(makePrompt({.id = 1, .title = "Review one", .updatedAt = 101})).ok());
  ASSERT_TRUE(calls_.save(makePrompt({.id = 2, .title = "Other", .updatedAt = 102})).ok());
  const auto reviewTitles = [this] {
    return titlesOf(calls_.fetch(PromptFilter{"review", {}, std::nullopt}).value());
  };
  EXPECT_EQ(reviewTitles(), (std::vector<std::string>{"Review one"}));

  // Another context of the container, as a mirrored import writes.
  auto context = stack_.container()->newBackgroundContext();
  platform::ManagedObject other =
      context
          ->fetch(platform::FetchRequest{std::string(model::kPromptEntity),
                                         platform::EqualityPredicate{std::string(model::kId), testUUID(2)}})
          .value()
          .at(0);
  other.setValue(model::kTitle, std::string("Review two"));
  ASSERT_TRUE(context->save().ok());
  EXPECT_EQ(reviewTitles(), (std::vector<std::string>{"Review two", "Review one"}));

  // Another program writing to the file.
  raw().execute("UPDATE ZPROMPTENTITY SET ZTITLE = 'Renamed' WHERE ZID = " + sqlBlob(testUUID(1)));
  EXPECT_EQ(reviewTitles(), (std::vector<std::string>{"Review two"}));

  // Unsaved changes of the view context are laid over the store, and forgotten with it.
  platform::ManagedObjectContext& view = *stack_.container()->viewContext();
  platform::ManagedObject unsaved = view.insertNewObject(model::kPromptEntity);
  ASSERT_TRUE(
      writePromptFields(unsaved, makePrompt({.id = 3, .title = "Review draft", .updatedAt = 90})).ok());
  EXPECT_EQ(reviewTitles(), (std::vector<std::string>{"Review two", "Review draft"}));
  view.deleteObject(unsaved);
  EXPECT_EQ(reviewTitles(), (std::vector<std::string>{"Review two"}));

  // A store destroyed and made again starts empty.
  ASSERT_TRUE(CoreDataStack::resetStore(support_.storePath(), *stack_.container()).ok());
  CoreDataStack::loadStores(support_.storePath(), *stack_.container());
  EXPECT_TRUE(calls_.fetchAll().empty());
}

TEST_F(CoreDataPromptStoreTest, AllTagsComeInListingOrderAndFollowChanges) {
  ASSERT_TRUE(calls_.save(makePrompt({.id = 1, .tags = {"b", "a"}, .updatedAt = 101})).ok());
  ASSERT_TRUE(calls_.save(makePrompt({.id = 2, .tags = {"c"}, .updatedAt = 102})).ok());
  EXPECT_EQ(calls_.fetchAllTags(), (std::vector<std::string>{"c", "b", "a"}));
  raw().execute("UPDATE ZPROMPTENTITY SET ZTAGS = CAST('[\"z\"]' AS BLOB) WHERE ZID = " +
                sqlBlob(testUUID(1)));
  EXPECT_EQ(calls_.fetchAllTags(), (std::vector<std::string>{"c", "z"}));
}

TEST_F(CoreDataPromptStoreTest, WritesCarryTheApplicationsAuthorAndNoOpWritesRecordNothing) {
  const Prompt prompt = makePrompt({});
  ASSERT_TRUE(calls_.save(prompt).ok());
  ASSERT_TRUE(calls_.addVersion(PromptVersion{testUUID(92), prompt.id, "more", "", 2, {}}, prompt.id).ok());
  ASSERT_EQ(history().size(), 2u);
  for (const auto& transaction : history()) EXPECT_EQ(transaction.author, "Velloran");

  // Nothing changed: no transaction the sync monitor would take for local work.
  ASSERT_TRUE(calls_.remove({}).ok());
  ASSERT_TRUE(calls_.remove({testUUID(77)}).ok());
  ASSERT_TRUE(
      runToCompletion<void>(dispatch_, [&](auto done) {
        store_->addRun(PromptRun{testUUID(93), prompt.id, {}, "", "", "", {}, 0, {}}, prompt.id, done);
      }).ok());
  EXPECT_EQ(history().size(), 2u);
}

TEST_F(CoreDataPromptStoreTest, AppendedVersionJoinsTheOthersAndStampsTheTime) {
  const Prompt prompt = withVersions(makePrompt({.updatedAt = 10}), {{1, "one"}});
  ASSERT_TRUE(calls_.save(prompt).ok());
  dispatch_.clock().advance(std::chrono::seconds(30));
  const PromptVersion second{testUUID(94), testUUID(99), "two", "n", 2, platform::Date{11}};
  ASSERT_TRUE(calls_.addVersion(second, prompt.id).ok());

  const auto prompts = calls_.fetchAll();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].updatedAt, dispatch_.clock().now());
  EXPECT_EQ(prompts[0].createdAt, prompt.createdAt);
  PromptVersion expected = second;
  expected.promptRef = prompt.id;  // the store links it to the prompt it was added to
  EXPECT_EQ(prompts[0].versions, (std::vector<PromptVersion>{prompt.versions[0], expected}));
}

TEST_F(CoreDataPromptStoreTest, PromptsSurviveANewStackOnTheSameFile) {
  const Prompt prompt = withVersions(makePrompt({.tags = {"x", "y"}}), {{1, "a"}, {2, "b"}, {3, "c"}});
  ASSERT_TRUE(calls_.save(prompt).ok());
  CoreDataPromptStore reopened(CoreDataStack(false).container(), dispatch_.sharedClock());
  EXPECT_EQ(RepositoryCalls(dispatch_, reopened).fetchAll(), std::vector<Prompt>{savedTogether(prompt)});
}

// A store written while versions were shown in the order of their numbers, before any store of this
// release opened it: no renumbering, and stamps from a clock that was set back between the saves.
void writeAsTheReleaseBeforeDid(platform::PersistentContainer& container, const Prompt& prompt) {
  std::shared_ptr<platform::ManagedObjectContext> context = container.newBackgroundContext();
  platform::ManagedObject object = findOrCreatePrompt(*context, prompt.id, prompt.createdAt).value();
  ASSERT_TRUE(writePromptFields(object, prompt).ok());
  for (const PromptVersion& version : prompt.versions) {
    platform::ManagedObject member = context->insertNewObject(model::kVersionEntity);
    member.setValue(model::kId, version.id);
    member.setValue(model::kPromptRef, prompt.id);
    member.setValue(model::kContent, version.content);
    member.setValue(model::kNotes, version.notes);
    member.setValue(model::kVersionNumber, version.versionNumber);
    member.setValue(model::kCreatedAt, version.createdAt);
    object.addRelatedObject(model::kVersions, member);
  }
  ASSERT_TRUE(context->save().ok());
}

TEST(CoreDataPromptStoreUpgrade, AStoreOrderedByNumberKeepsTheCurrentVersionItShowed) {
  platform::DeterministicDispatch dispatch;
  TemporaryApplicationSupport support;
  CoreDataStack stack(false);
  constexpr double kHour = 3600;
  const double base = dispatch.clock().now().secondsSinceReferenceDate;
  Prompt setBack = makePrompt({.id = 1, .title = "set back"});
  setBack.versions = {
      PromptVersion{testUUID(101), setBack.id, "base", "", 1, platform::Date{base}},
      PromptVersion{testUUID(102), setBack.id, "back-1h", "", 2, platform::Date{base - kHour}},
      PromptVersion{testUUID(103), setBack.id, "back-2h", "", 3, platform::Date{base - 2 * kHour}}};
  // Two versions of one number, as two machines made them, and stamps that agree with the numbers.
  Prompt inOrder = makePrompt({.id = 2, .title = "in order", .updatedAt = 500});
  inOrder.versions = {PromptVersion{testUUID(111), inOrder.id, "one", "", 1, platform::Date{10}},
                      PromptVersion{testUUID(112), inOrder.id, "two", "", 2, platform::Date{20}},
                      PromptVersion{testUUID(113), inOrder.id, "two too", "", 2, platform::Date{30}}};
  // Saved together with one stamp, their ids running against their numbers.
  Prompt oneStamp = makePrompt({.id = 3, .title = "one stamp", .updatedAt = 400});
  oneStamp.versions = {PromptVersion{testUUID(123), oneStamp.id, "first", "", 1, platform::Date{10}},
                       PromptVersion{testUUID(122), oneStamp.id, "second", "", 2, platform::Date{10}},
                       PromptVersion{testUUID(121), oneStamp.id, "third", "", 3, platform::Date{10}}};
  writeAsTheReleaseBeforeDid(*stack.container(), setBack);
  writeAsTheReleaseBeforeDid(*stack.container(), inOrder);
  writeAsTheReleaseBeforeDid(*stack.container(), oneStamp);
  const std::size_t transactionsBefore = stack.container()->viewContext()->fetchHistory(std::nullopt)->size();

  CoreDataPromptStore store(stack.container(), dispatch.sharedClock());
  const std::vector<Prompt> prompts = RepositoryCalls(dispatch, store).fetchAll();
  ASSERT_EQ(prompts.size(), 3u);
  const auto listed = [](const Prompt& prompt) {
    std::vector<std::pair<std::int64_t, std::string>> versions;
    for (const PromptVersion& version : prompt.versions)
      versions.emplace_back(version.versionNumber, version.content);
    return versions;
  };
  using Listed = std::vector<std::pair<std::int64_t, std::string>>;
  EXPECT_EQ(listed(prompts[0]), (Listed{{1, "base"}, {2, "back-1h"}, {3, "back-2h"}}));
  EXPECT_EQ(prompts[0].versions[0].createdAt, platform::Date{base});
  EXPECT_EQ(listed(prompts[1]), (Listed{{1, "one"}, {2, "two"}, {3, "two too"}}));
  for (std::size_t index = 0; index < 3; ++index) {
    EXPECT_EQ(prompts[1].versions[index].createdAt, inOrder.versions[index].createdAt)
        << "stamps that agree with the numbers stay";
  }
  EXPECT_EQ(listed(prompts[2]), (Listed{{1, "first"}, {2, "second"}, {3, "third"}}));

  // What the store now holds is in stamp order, so the next version saved follows the current one;
  // a store opened later finds nothing more to bring forward.
  const std::size_t transactionsAfter = stack.container()->viewContext()->fetchHistory(std::nullopt)->size();
  EXPECT_EQ(transactionsAfter, transactionsBefore + 1) << "brought forward in one save";
  CoreDataPromptStore reopened(stack.container(), dispatch.sharedClock());
  EXPECT_EQ(RepositoryCalls(dispatch, reopened).fetchAll(), prompts);
  EXPECT_EQ(stack.container()->viewContext()->fetchHistory(std::nullopt)->size(), transactionsAfter);
}

TEST(CoreDataPromptStoreRestart, PromptsWrittenByAProcessThatEndedAbruptlyAreReadByTheNext) {
  // The writer is a child process that ends without closing anything: what it saved must already be
  // on disk, write-ahead log included, for the next process to read. Nothing here has the store
  // open before the child is made, so no connection crosses the fork.
  GTEST_FLAG_SET(death_test_style, "fast");
  platform::DeterministicDispatch dispatch;
  TemporaryApplicationSupport support;
  const Prompt prompt = makePrompt({.title = "from the child"});
  EXPECT_EXIT(
      {
        CoreDataPromptStore writer(CoreDataStack(false).container(), dispatch.sharedClock());
        const bool saved = RepositoryCalls(dispatch, writer).save(prompt).ok();
        std::_Exit(saved ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  ASSERT_TRUE(std::filesystem::exists(support.storePath().string() + "-wal"));

  CoreDataPromptStore reader(CoreDataStack(false).container(), dispatch.sharedClock());
  EXPECT_EQ(RepositoryCalls(dispatch, reader).fetchAll(), std::vector<Prompt>{prompt});
}

}  // namespace
}  // namespace velloran::testing
