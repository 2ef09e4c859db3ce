#include <gtest/gtest.h>

#include "platform/pstore/PersistentStoreError.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using namespace testing;

class PstoreContext : public ::testing::Test {
 protected:
  std::filesystem::path storePath() const { return folder.path() / "Notebook.sqlite"; }

  ManagedObject insertNote(ManagedObjectContext& context, const std::string& title, double updatedAt = 0) {
    ManagedObject note = context.insertNewObject("Note");
    note.setValue("title", title);
    note.setValue("updatedAt", Date{updatedAt});
    return note;
  }
  ManagedObject insertPage(ManagedObjectContext& context, const ManagedObject& note, std::int64_t number) {
    ManagedObject page = context.insertNewObject("Page");
    page.setValue("number", number);
    page.setRelatedObject("note", note);
    return page;
  }
  std::vector<std::string> titles(const std::vector<ManagedObject>& notes) {
    std::vector<std::string> result;
    for (const ManagedObject& note : notes) result.push_back(text(note, "title"));
    return result;
  }
  std::vector<std::string> titlesBy(std::vector<SortDescriptor> sort, std::size_t limit = 0) {
    return titles(
        valueOrFail(notebook.view().fetch(FetchRequest{"Note", std::nullopt, std::move(sort), limit})));
  }

  TemporaryDirectory folder;
  Notebook notebook{fileStore(storePath())};
};

TEST_F(PstoreContext, InsertAppliesDefaultsAndSaveMakesTheIDPermanent) {
  const UUID idDefault = UUID::random();
  Notebook withDefaults(memoryStore(), makeNotebookModel({idDefault, Date{5.0}}));
  ManagedObject note = withDefaults.view().insertNewObject("Note");
  EXPECT_TRUE(note.objectID().isTemporary());
  EXPECT_EQ(note.value("id").as<UUID>(), idDefault);
  EXPECT_EQ(note.value("title").as<std::string>(), "");
  EXPECT_EQ(note.value("tags").as<Bytes>(), (Bytes{'[', ']'}));
  EXPECT_EQ(note.value("pinned").as<bool>(), false);
  EXPECT_EQ(note.value("updatedAt").as<Date>(), Date{5.0});

  saveOrFail(withDefaults.view());
  EXPECT_FALSE(note.objectID().isTemporary());
  EXPECT_FALSE(note.isInserted());
  auto again = valueOrFail(withDefaults.background()->existingObject(note.objectID()));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->recordName(), note.recordName());
}

TEST_F(PstoreContext, FetchFiltersSortsAndLimitsInTheStore) {
  insertNote(notebook.view(), "b", 10);
  insertNote(notebook.view(), "a", 12);
  insertNote(notebook.view(), "c", 11);
  insertNote(notebook.view(), "a2", 12);
  saveOrFail(notebook.view());

  EXPECT_EQ(titlesBy({{"updatedAt", false}}), (std::vector<std::string>{"a", "a2", "c", "b"}));
  EXPECT_EQ(titlesBy({{"updatedAt", true}, {"title", false}}, 3), (std::vector<std::string>{"b", "c", "a2"}));
  auto matching = valueOrFail(notebook.view().fetch(
      FetchRequest{.entityName = "Note", .predicate = EqualityPredicate{"title", std::string("c")}}));
  EXPECT_EQ(titles(matching), std::vector<std::string>{"c"});
}

TEST_F(PstoreContext, FetchSeesUnsavedChangesBeforeTheLimit) {
  insertNote(notebook.view(), "old", 1);
  ManagedObject gone = insertNote(notebook.view(), "gone", 3);
  ManagedObject moved = insertNote(notebook.view(), "moved", 2);
  saveOrFail(notebook.view());

  notebook.view().deleteObject(gone);
  moved.setValue("updatedAt", Date{0});
  insertNote(notebook.view(), "new", 5);
  EXPECT_EQ(titlesBy({{"updatedAt", false}}, 2), (std::vector<std::string>{"new", "old"}));
  auto byTitle = valueOrFail(notebook.view().fetch(
      FetchRequest{.entityName = "Note", .predicate = EqualityPredicate{"title", std::string("new")}}));
  EXPECT_EQ(byTitle.size(), 1u);
}

TEST_F(PstoreContext, ReadingTellsMissingFromOtherKind) {
  ManagedObject note = insertNote(notebook.view(), "tampered");
  insertPage(notebook.view(), note, 7);
  saveOrFail(notebook.view());
  {
    RawDatabase raw(storePath());
    raw.execute("UPDATE ZNOTE SET ZTITLE = 42, ZID = x'0102', ZTAGS = NULL, ZPINNED = 'yes'");
    raw.execute("UPDATE ZPAGE SET ZNUMBER = 3000000000");
  }
  Notebook reader(fileStore(storePath()));
  std::vector<ManagedObject> notes = fetchAll(reader.view(), "Note");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_TRUE(notes[0].value("title").isOtherKind());
  EXPECT_TRUE(notes[0].value("id").isOtherKind());
  EXPECT_TRUE(notes[0].value("tags").isMissing());
  EXPECT_TRUE(notes[0].value("pinned").isOtherKind());
  EXPECT_TRUE(notes[0].value("updatedAt").isPresent());
  std::vector<ManagedObject> pages = valueOrFail(notes[0].relatedObjects("pages"));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages[0].value("number").isOtherKind());
}

TEST_F(PstoreContext, MisuseIsAProgrammerError) {
  ManagedObject note = notebook.view().insertNewObject("Note");
  EXPECT_THROW(note.value("nope"), ProgrammerError);
  EXPECT_THROW(note.setValue("title", std::int64_t{1}), ProgrammerError);
  EXPECT_THROW(note.value("pages"), ProgrammerError);
  EXPECT_THROW(note.relatedObject("title"), ProgrammerError);
  EXPECT_THROW(notebook.view().insertNewObject("Nope"), ProgrammerError);
  EXPECT_THROW(static_cast<void>(notebook.view().fetch(FetchRequest{
                   .entityName = "Note", .predicate = EqualityPredicate{"pinned", std::string("x")}})),
               ProgrammerError);
  auto other = notebook.background();
  EXPECT_THROW(other->deleteObject(note), ProgrammerError);
  ManagedObject foreignPage = other->insertNewObject("Page");
  EXPECT_THROW(note.addRelatedObject("pages", foreignPage), ProgrammerError);
  EXPECT_THROW(other->setMetadataValue("pstore.modelHash", "x"), ProgrammerError);
}

TEST_F(PstoreContext, RelationshipsKeepTheirInverse) {
  ManagedObject note = insertNote(notebook.view(), "n");
  ManagedObject first = insertPage(notebook.view(), note, 1);
  ManagedObject second = notebook.view().insertNewObject("Page");
  note.addRelatedObject("pages", second);
  EXPECT_EQ(second.relatedObject("note"), note);
  EXPECT_EQ(valueOrFail(note.relatedObjects("pages")), (std::vector<ManagedObject>{first, second}));
  saveOrFail(notebook.view());

  auto reader = notebook.background();
  auto stored = fetchAll(*reader, "Note");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(valueOrFail(stored[0].relatedObjects("pages")).size(), 2u);
}

TEST_F(PstoreContext, ReplacingASetDetachesTheMembersLeftOut) {
  ManagedObject note = insertNote(notebook.view(), "n");
  insertPage(notebook.view(), note, 1);
  insertPage(notebook.view(), note, 2);
  saveOrFail(notebook.view());

  auto writer = notebook.background();
  ManagedObject stored = fetchAll(*writer, "Note").at(0);
  ManagedObject fresh = writer->insertNewObject("Page");
  fresh.setValue("number", std::int64_t{3});
  ASSERT_TRUE(stored.setRelatedObjects("pages", {fresh}).ok());
  saveOrFail(*writer);

  std::vector<ManagedObject> pages = fetchAll(notebook.view(), "Page", {{"number", true}});
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_FALSE(pages[0].relatedObject("note"));
  EXPECT_FALSE(pages[1].relatedObject("note"));
  EXPECT_EQ(pages[2].relatedObject("note"), fetchAll(notebook.view(), "Note").at(0));
}

// Read together, each owner gets what reading it alone gives: stored members, unsaved links laid
// over them, deleted members left out, owners not saved yet and owners named twice included.
TEST_F(PstoreContext, RelatedObjectsOfManyOwnersAnswerLikeEachOneAlone) {
  std::vector<ManagedObject> notes;
  for (int index = 0; index < 3; ++index) {
    notes.push_back(insertNote(notebook.view(), "n" + std::to_string(index)));
    for (std::int64_t number = 1; number <= 2; ++number) insertPage(notebook.view(), notes.back(), number);
  }
  saveOrFail(notebook.view());

  auto reader = notebook.background();
  std::vector<ManagedObject> stored = fetchAll(*reader, "Note", {{"title", true}});
  std::vector<ManagedObject> firstPages = valueOrFail(stored[0].relatedObjects("pages"));
  firstPages[0].setRelatedObject("note", stored[1]);  // moved, unsaved
  reader->deleteObject(valueOrFail(stored[2].relatedObjects("pages")).at(0));
  ManagedObject unsavedNote = insertNote(*reader, "new");
  insertPage(*reader, unsavedNote, 1);
  insertPage(*reader, stored[2], 3);

  const std::vector<ManagedObject> owners{stored[0], stored[1], stored[2], unsavedNote, stored[1]};
  const std::vector<std::vector<ManagedObject>> together =
      valueOrFail(reader->relatedObjects(owners, "pages"));
  ASSERT_EQ(together.size(), owners.size());
  for (std::size_t index = 0; index < owners.size(); ++index) {
    EXPECT_EQ(together[index], valueOrFail(owners[index].relatedObjects("pages"))) << index;
  }
  EXPECT_EQ(together[0].size(), 1u);
  EXPECT_EQ(together[1].size(), 3u);
  EXPECT_EQ(together[2].size(), 2u);
  EXPECT_EQ(together[3].size(), 1u);
  EXPECT_TRUE(valueOrFail(reader->relatedObjects({}, "pages")).empty());
  EXPECT_THROW(static_cast<void>(reader->relatedObjects({stored[0], firstPages[1]}, "pages")),
               ProgrammerError);
}

// More owners than one query binds are read in several.
TEST_F(PstoreContext, RelatedObjectsOfManyOwnersSpanSeveralQueries) {
  for (int index = 0; index < 1200; ++index)
    insertPage(notebook.view(), insertNote(notebook.view(), "n"), index);
  saveOrFail(notebook.view());
  auto reader = notebook.background();
  const std::vector<ManagedObject> notes = fetchAll(*reader, "Note");
  const std::vector<std::vector<ManagedObject>> pages = valueOrFail(reader->relatedObjects(notes, "pages"));
  ASSERT_EQ(pages.size(), notes.size());
  for (std::size_t index = 0; index < notes.size(); ++index) {
    ASSERT_EQ(pages[index].size(), 1u);
    EXPECT_EQ(pages[index][0].relatedObject("note"), notes[index]);
  }
}

// Values read without objects are what the objects would read, in the same order; for a few owners
// and for more than one query binds.
TEST_F(PstoreContext, ValuesReadWithoutObjectsMatchTheObjects) {
  for (int index = 0; index < 1200; ++index) {
    ManagedObject note = insertNote(notebook.view(), "n" + std::to_string(index), index % 7);
    insertPage(notebook.view(), note, 2 * index + 1);
    if (index % 3 == 0) insertPage(notebook.view(), note, 2 * index);
  }
  insertPage(notebook.view(), insertNote(notebook.view(), "other"), 9).setRelatedObject("note", std::nullopt);
  saveOrFail(notebook.view());

  ManagedObjectContext& view = notebook.view();
  const FetchRequest request{"Note", std::nullopt, {{"updatedAt", false}}, 0};
  const std::vector<ManagedObject> notes = valueOrFail(view.fetch(request));
  const std::vector<StoredValues> rows = valueOrFail(view.fetchValues(request, {"title", "updatedAt"}));
  ASSERT_EQ(rows.size(), notes.size());
  std::vector<ObjectID> owners;
  for (std::size_t index = 0; index < notes.size(); ++index) {
    EXPECT_EQ(rows[index].id, notes[index].objectID());
    EXPECT_EQ(rows[index].values,
              (std::vector<AttributeRead>{notes[index].value("title"), notes[index].value("updatedAt")}));
    owners.push_back(rows[index].id);
  }
  for (const std::vector<ObjectID>& some : {owners, std::vector<ObjectID>{owners[5], owners[3], owners[5]}}) {
    const auto pages = valueOrFail(view.memberValues(some, "pages", {"number"}));
    ASSERT_EQ(pages.size(), some.size());
    for (std::size_t index = 0; index < some.size(); ++index) {
      const auto owner = valueOrFail(view.existingObject(some[index]));
      ASSERT_TRUE(owner);
      std::vector<AttributeRead> expected, read;
      for (const ManagedObject& page : valueOrFail(owner->relatedObjects("pages")))
        expected.push_back(page.value("number"));
      for (const StoredValues& page : pages[index]) read.push_back(page.values.at(0));
      EXPECT_EQ(read, expected) << index;
    }
  }
}

TEST_F(PstoreContext, ValuesAreReadOnlyWithoutUnsavedChanges) {
  insertNote(notebook.view(), "unsaved");
  EXPECT_THROW(static_cast<void>(notebook.view().fetchValues(FetchRequest{"Note"}, {"title"})),
               ProgrammerError);
  saveOrFail(notebook.view());
  EXPECT_THROW(static_cast<void>(notebook.view().fetchValues(FetchRequest{"Note"}, {"pages"})),
               ProgrammerError)
      << "a relationship is no attribute";
}

TEST_F(PstoreContext, ChangeCountMovesWithEveryCommitThatChangedObjects) {
  const std::shared_ptr<PersistentStore> store =
      notebook.container.persistentStoreCoordinator()->persistentStore();
  const std::uint64_t start = store->changeCount();
  insertNote(notebook.view(), "n");
  saveOrFail(notebook.view());
  const std::uint64_t afterInsert = store->changeCount();
  EXPECT_GT(afterInsert, start);

  notebook.view().setMetadataValue("bookkeeping", "1");  // no object changed
  saveOrFail(notebook.view());
  saveOrFail(notebook.view());  // nothing to save
  EXPECT_EQ(store->changeCount(), afterInsert);

  auto writer = notebook.background();
  fetchAll(*writer, "Note").at(0).setValue("title", std::string("changed"));
  saveOrFail(*writer);
  const std::uint64_t afterUpdate = store->changeCount();
  EXPECT_GT(afterUpdate, afterInsert);

  // Another program writing to the file moves it too.
  RawDatabase(storePath()).execute("UPDATE ZNOTE SET ZTITLE = 'elsewhere'");
  EXPECT_GT(store->changeCount(), afterUpdate);
}

TEST_F(PstoreContext, DeletingCascadesOrNullifiesByRule) {
  ManagedObject kept = insertNote(notebook.view(), "kept");
  ManagedObject dropped = insertNote(notebook.view(), "dropped");
  ManagedObject keptPage = insertPage(notebook.view(), kept, 1);
  insertPage(notebook.view(), kept, 2);
  insertPage(notebook.view(), dropped, 1);
  saveOrFail(notebook.view());

  notebook.view().deleteObject(dropped);
  notebook.view().deleteObject(keptPage);
  saveOrFail(notebook.view());

  EXPECT_EQ(titles(fetchAll(notebook.view(), "Note")), std::vector<std::string>{"kept"});
  std::vector<ManagedObject> pages = fetchAll(notebook.view(), "Page");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].value("number").as<std::int64_t>(), 2);
  EXPECT_TRUE(dropped.isDeleted());
  EXPECT_TRUE(dropped.value("title").isMissing());
}

TEST_F(PstoreContext, DeletingAnUnsavedObjectCascadesToItsUnsavedMembers) {
  ManagedObject note = insertNote(notebook.view(), "n");
  insertPage(notebook.view(), note, 1);
  notebook.view().deleteObject(note);
  saveOrFail(notebook.view());
  EXPECT_TRUE(fetchAll(notebook.view(), "Page").empty());
  EXPECT_FALSE(notebook.view().hasChanges());

  ManagedObject discarded = notebook.view().insertNewObject("Note");
  notebook.view().deleteObject(discarded);
  EXPECT_FALSE(notebook.view().hasChanges());
  saveOrFail(notebook.view());
  EXPECT_TRUE(discarded.isDeleted());
  EXPECT_TRUE(valueOrFail(notebook.view().fetchHistory(std::nullopt)).empty());
}

class PstoreValidation : public PstoreContext {
 protected:
  void expectRefused(PersistentStoreErrorCode code, const std::string& key) {
    Result<void> saved = notebook.view().save();
    ASSERT_FALSE(saved);
    EXPECT_TRUE(isPersistentStoreError(saved.error(), code)) << saved.error().debugDescription();
    EXPECT_EQ(saved.error().userInfo.at(std::string(kErrorKeyKey)), Value(key));
    EXPECT_TRUE(fetchAll(*notebook.background(), "Page").empty()) << "nothing is written";
    EXPECT_TRUE(notebook.view().hasChanges()) << "the context keeps its changes";
  }
};

TEST_F(PstoreValidation, RequiredValueMissing) {
  ManagedObject page = notebook.view().insertNewObject("Page");
  page.setValue("content", std::nullopt);
  expectRefused(PersistentStoreErrorCode::ValidationMissingMandatoryProperty, "content");
}

TEST_F(PstoreValidation, Integer32BeyondItsRangeIsRefusedNotCut) {
  ManagedObject page = notebook.view().insertNewObject("Page");
  page.setValue("number", std::int64_t{2147483648});
  expectRefused(PersistentStoreErrorCode::ValidationNumberTooLarge, "number");
  page.setValue("number", std::int64_t{-2147483649});
  expectRefused(PersistentStoreErrorCode::ValidationNumberTooSmall, "number");
  page.setValue("number", std::int64_t{-2147483648});
  saveOrFail(notebook.view());
  EXPECT_EQ(fetchAll(*notebook.background(), "Page").at(0).value("number").as<std::int64_t>(), -2147483648);
}

TEST_F(PstoreContext, DamagedCountersNeitherOverflowNorCollide) {
  insertNote(notebook.view(), "first");
  saveOrFail(notebook.view());
  {
    RawDatabase raw(storePath());
    raw.execute("UPDATE ZNOTE SET Z_OPT = 9223372036854775807");
    raw.execute("UPDATE Z_PRIMARYKEY SET Z_MAX = 9223372036854775807 WHERE Z_ENTITY = 'Note'");
  }
  Notebook reader(fileStore(storePath()));
  fetchAll(reader.view(), "Note").at(0).setValue("title", std::string("changed"));
  insertNote(reader.view(), "second");
  saveOrFail(reader.view());
  RawDatabase raw(storePath());
  EXPECT_EQ(raw.count("SELECT Z_OPT FROM ZNOTE WHERE ZTITLE = 'changed'"), 1) << "the version starts again";
  EXPECT_EQ(raw.count("SELECT Z_PK FROM ZNOTE WHERE ZTITLE = 'second'"), 2)
      << "numbers go on after the rows, not after the damaged counter";

  // With no number left above the rows, an insertion fails instead of wrapping round.
  raw.execute("UPDATE ZNOTE SET Z_PK = 9223372036854775807 WHERE ZTITLE = 'second'");
  Notebook full(fileStore(storePath()));
  insertNote(full.view(), "third");
  Result<void> saved = full.view().save();
  ASSERT_FALSE(saved.ok());
  EXPECT_TRUE(isPersistentStoreError(saved.error(), PersistentStoreErrorCode::StoreOperationFailed));
  EXPECT_EQ(raw.count("SELECT count(*) FROM ZNOTE"), 2);
}

TEST_F(PstoreContext, SaveWithoutChangesWritesNothing) {
  EXPECT_FALSE(notebook.view().hasChanges());
  saveOrFail(notebook.view());
  ManagedObject note = insertNote(notebook.view(), "same");
  saveOrFail(notebook.view());
  note.setValue("title", std::string("same"));
  EXPECT_FALSE(notebook.view().hasChanges());
  EXPECT_EQ(valueOrFail(notebook.view().fetchHistory(std::nullopt)).size(), 1u);
}

TEST_F(PstoreContext, UnsavedValuesAreKeptPerColumnWhateverOrderTheyAreSetIn) {
  ManagedObject note = notebook.view().insertNewObject("Note");
  note.setValue("updatedAt", Date{3});
  note.setValue("pinned", true);
  note.setValue("title", std::string("first"));
  note.setValue("updatedAt", Date{4});
  note.setValue("title", std::string("last"));
  saveOrFail(notebook.view());
  auto stored = valueOrFail(notebook.background()->existingObject(note.objectID()));
  ASSERT_TRUE(stored);
  EXPECT_EQ(text(*stored, "title"), "last");
  EXPECT_EQ(stored->value("pinned").as<bool>(), true);
  EXPECT_EQ(stored->value("updatedAt").as<Date>(), Date{4});
  EXPECT_EQ(stored->value("tags").as<Bytes>(), (Bytes{'[', ']'})) << "a default left alone";

  // A column set back to what is stored is no change, whatever the others do.
  note.setValue("updatedAt", Date{9});
  note.setValue("title", std::string("changed"));
  note.setValue("updatedAt", Date{4});
  EXPECT_TRUE(notebook.view().hasChanges());
  note.setValue("title", std::string("last"));
  EXPECT_FALSE(notebook.view().hasChanges());

  note.setValue("pinned", false);
  note.setValue("title", std::string("renamed"));
  saveOrFail(notebook.view());
  stored = valueOrFail(notebook.background()->existingObject(note.objectID()));
  ASSERT_TRUE(stored);
  EXPECT_EQ(text(*stored, "title"), "renamed");
  EXPECT_EQ(stored->value("pinned").as<bool>(), false);
  EXPECT_EQ(stored->value("updatedAt").as<Date>(), Date{4});
}

TEST_F(PstoreContext, MetadataIsSavedWithTheObjectsButRecordsNoHistory) {
  auto context = notebook.background();
  context->setMetadataValue("mirror.offset", "17");
  EXPECT_TRUE(context->hasChanges());
  EXPECT_EQ(valueOrFail(context->metadataValue("mirror.offset")), "17");
  EXPECT_EQ(valueOrFail(notebook.view().metadataValue("mirror.offset")), std::nullopt);
  saveOrFail(*context);
  EXPECT_EQ(valueOrFail(notebook.view().metadataValue("mirror.offset")), "17");
  EXPECT_TRUE(valueOrFail(notebook.view().fetchHistory(std::nullopt)).empty());

  context->setMetadataValue("mirror.offset", std::nullopt);
  saveOrFail(*context);
  EXPECT_EQ(valueOrFail(notebook.view().metadataValue("mirror.offset")), std::nullopt);
}

TEST_F(PstoreContext, MetadataIsListedByPrefixWithThisContextsUnsavedValues) {
  auto context = notebook.background();
  context->setMetadataValue("mirror.record.a", "1");
  context->setMetadataValue("mirror.record.b", "2");
  context->setMetadataValue("mirror.recordless", "not listed");
  context->setMetadataValue("mirror.recorc", "not listed either");
  saveOrFail(*context);

  context->setMetadataValue("mirror.record.b", std::nullopt);
  context->setMetadataValue("mirror.record.c", "3");
  using Values = std::map<std::string, std::string>;
  EXPECT_EQ(valueOrFail(context->metadataValues("mirror.record.")),
            (Values{{"mirror.record.a", "1"}, {"mirror.record.c", "3"}}));
  EXPECT_EQ(valueOrFail(notebook.view().metadataValues("mirror.record.")),
            (Values{{"mirror.record.a", "1"}, {"mirror.record.b", "2"}}));
  EXPECT_EQ(valueOrFail(context->metadataValues(std::vector<std::string>{
                "mirror.record.a", "mirror.record.b", "mirror.record.c", "mirror.record.d"})),
            (Values{{"mirror.record.a", "1"}, {"mirror.record.c", "3"}}))
      << "named keys, with this context's unsaved values";
}

// The first values under a prefix, no more than the count and the bytes allow, and the key that
// would have come next: every value is met once, in key order, however the walk is cut.
TEST_F(PstoreContext, MetadataIsReadInBoundedPartsInKeyOrder) {
  auto context = notebook.background();
  // Saved out of order, around keys just outside the prefix on either side.
  for (const auto& [key, value] : std::map<std::string, std::string>{{"held.3", "cccccc"},
                                                                     {"held.1", "aaaa"},
                                                                     {"held.20", "bb"},
                                                                     {"held.2", ""},
                                                                     {"held-", "before"},
                                                                     {"heldx", "after"},
                                                                     {"held/", "after too"}})
    context->setMetadataValue(key, value);
  saveOrFail(*context);
  using Values = std::vector<std::pair<std::string, std::string>>;
  const auto read = [&](std::size_t limit, std::size_t byteLimit) {
    return valueOrFail(context->metadataValues(MetadataRange{"held.", limit, byteLimit}));
  };

  MetadataPage page = read(2, 100);
  EXPECT_EQ(page.values, (Values{{"held.1", "aaaa"}, {"held.2", ""}}));
  EXPECT_EQ(page.nextKey, "held.20");
  page = read(100, 6);
  EXPECT_EQ(page.values, (Values{{"held.1", "aaaa"}, {"held.2", ""}, {"held.20", "bb"}}))
      << "values that fill the bytes exactly";
  EXPECT_EQ(page.nextKey, "held.3");
  page = read(100, 5);
  EXPECT_EQ(page.values, (Values{{"held.1", "aaaa"}, {"held.2", ""}})) << "an empty value still fits";
  EXPECT_EQ(page.nextKey, "held.20");
  page = read(100, 1);
  EXPECT_EQ(page.values, (Values{{"held.1", "aaaa"}})) << "the first value, however long";
  EXPECT_EQ(page.nextKey, "held.2");
  page = read(4, 12);
  EXPECT_EQ(page.values.size(), 4u) << "both bounds met by the last value there is";
  EXPECT_EQ(page.nextKey, std::nullopt);
  EXPECT_EQ(read(100, 100).values, page.values);
  EXPECT_EQ(valueOrFail(context->metadataValues(MetadataRange{"none."})).values, Values{});
}

TEST_F(PstoreContext, ABoundedMetadataReadLaysThisContextsUnsavedValuesOverTheStoredOnes) {
  auto context = notebook.background();
  for (const std::string key : {"held.1", "held.2", "held.3", "held.4", "held.5"})
    context->setMetadataValue(key, "stored " + key);
  saveOrFail(*context);
  context->setMetadataValue("held.1", std::nullopt);
  context->setMetadataValue("held.2", "unsaved, longer than the stored value");
  context->setMetadataValue("held.25", "unsaved");
  context->setMetadataValue("held.3", std::nullopt);
  context->setMetadataValue("held.4", std::nullopt);
  context->setMetadataValue("held.6", "unsaved too");
  using Values = std::vector<std::pair<std::string, std::string>>;

  MetadataPage page = valueOrFail(context->metadataValues(MetadataRange{"held.", 2}));
  EXPECT_EQ(page.values,
            (Values{{"held.2", "unsaved, longer than the stored value"}, {"held.25", "unsaved"}}));
  EXPECT_EQ(page.nextKey, "held.5") << "past the stored keys that this context removes";
  page = valueOrFail(context->metadataValues(MetadataRange{"held.", 100, 40}));
  EXPECT_EQ(page.values, (Values{{"held.2", "unsaved, longer than the stored value"}}))
      << "the bytes of the value laid over the stored one count";
  EXPECT_EQ(page.nextKey, "held.25");
  page = valueOrFail(context->metadataValues(MetadataRange{"held.", 3}));
  EXPECT_EQ(page.values.back(), (std::pair<std::string, std::string>{"held.5", "stored held.5"}));
  EXPECT_EQ(page.nextKey, "held.6") << "an unsaved key after the last stored one";

  page = valueOrFail(notebook.view().metadataValues(MetadataRange{"held.", 1}));
  EXPECT_EQ(page.values, (Values{{"held.1", "stored held.1"}})) << "another context reads the store alone";
  EXPECT_EQ(page.nextKey, "held.2");
}

TEST_F(PstoreContext, RecordMetadataIsKeptPerRecordWithThisContextsUnsavedValuesAndNoHistory) {
  const UUID a = UUID::random(), b = UUID::random(), c = UUID::random(), unknown = UUID::random();
  auto context = notebook.background();
  context->setRecordMetadata(a, Bytes{1});
  context->setRecordMetadata(b, Bytes{2, 0});
  context->setRecordMetadata(c, Bytes{});
  EXPECT_TRUE(context->hasChanges()) << "record metadata alone is worth a save";
  saveOrFail(*context);
  EXPECT_TRUE(valueOrFail(notebook.view().fetchHistory(std::nullopt)).empty());

  context->setRecordMetadata(b, std::nullopt);
  context->setRecordMetadata(c, Bytes{3});
  using Values = std::map<UUID, Bytes>;
  EXPECT_EQ(valueOrFail(context->recordMetadata({a, b, c, unknown})), (Values{{a, {1}}, {c, {3}}}));
  EXPECT_EQ(valueOrFail(context->allRecordMetadata()), (Values{{a, {1}}, {c, {3}}}));
  EXPECT_EQ(valueOrFail(notebook.view().allRecordMetadata()), (Values{{a, {1}}, {b, {2, 0}}, {c, {}}}))
      << "another context sees the saved values only; an empty value is still a value";

  saveOrFail(*context);
  Notebook reopened(fileStore(storePath()));
  EXPECT_EQ(valueOrFail(reopened.view().recordMetadata({a, b, c})), (Values{{a, {1}}, {c, {3}}}));
}

TEST_F(PstoreContext, RecordMetadataOfAFailedSaveStaysForTheNextOne) {
  const UUID record = UUID::random();
  auto context = notebook.background();
  context->setRecordMetadata(record, Bytes{7});
  ManagedObject invalid = context->insertNewObject("Page");
  invalid.setValue("number", std::int64_t{1} << 40);
  EXPECT_FALSE(context->save().ok());
  EXPECT_TRUE(valueOrFail(notebook.view().recordMetadata({record})).empty()) << "nothing was written";

  context->deleteObject(invalid);
  saveOrFail(*context);
  EXPECT_EQ(valueOrFail(notebook.view().recordMetadata({record})), (std::map<UUID, Bytes>{{record, {7}}}));
}

TEST_F(PstoreContext, RecordNamesFindObjectsAndMayBeGiven) {
  const UUID recordName = UUID::random();
  auto context = notebook.background();
  ManagedObject note = context->insertNewObject("Note", recordName);
  EXPECT_EQ(valueOrFail(context->objectWithRecordName("Note", recordName)), note);
  saveOrFail(*context);
  auto found = valueOrFail(notebook.view().objectWithRecordName("Note", recordName));
  ASSERT_TRUE(found);
  EXPECT_EQ(found->objectID(), note.objectID());
  EXPECT_FALSE(valueOrFail(notebook.view().objectWithRecordName("Page", recordName)));
}

// Unsaved insertions are found by record name without a store read: the latest of one name wins,
// one deleted before saving is not found, and after the save the stored object is.
TEST_F(PstoreContext, UnsavedInsertionsAreFoundByRecordName) {
  const UUID recordName = UUID::random();
  auto twice = notebook.background();  // never saved: the store keeps record names unique
  twice->insertNewObject("Note", recordName);
  ManagedObject later = twice->insertNewObject("Note", recordName);
  EXPECT_EQ(valueOrFail(twice->objectWithRecordName("Note", recordName)), later);
  EXPECT_FALSE(valueOrFail(twice->objectWithRecordName("Page", recordName)));

  auto context = notebook.background();
  const UUID droppedName = UUID::random();
  context->deleteObject(context->insertNewObject("Note", droppedName));
  EXPECT_FALSE(valueOrFail(context->objectWithRecordName("Note", droppedName)));

  ManagedObject kept = context->insertNewObject("Note");
  saveOrFail(*context);
  const std::optional<ManagedObject> found =
      valueOrFail(context->objectWithRecordName("Note", kept.recordName()));
  ASSERT_TRUE(found);
  EXPECT_FALSE(found->isInserted());
  EXPECT_EQ(found->objectID(), kept.objectID());
  EXPECT_FALSE(valueOrFail(context->objectWithRecordName("Note", droppedName)));
}

// Many record names are looked up together exactly as one by one, beyond what one query binds.
TEST_F(PstoreContext, ManyRecordNamesAreFoundTogetherAsEachAlone) {
  auto context = notebook.background();
  std::vector<UUID> names;
  for (int index = 0; index < 600; ++index) names.push_back(insertNote(*context, "n").recordName());
  saveOrFail(*context);
  const UUID unsaved = insertNote(*context, "unsaved").recordName();
  const UUID dropped = UUID::random();
  context->deleteObject(context->insertNewObject("Note", dropped));
  names.insert(names.end(), {unsaved, dropped, UUID::random()});

  const std::map<UUID, ManagedObject> found = valueOrFail(context->objectsWithRecordNames("Note", names));
  EXPECT_EQ(found.size(), 601u);
  for (const UUID& name : names) {
    const std::optional<ManagedObject> alone = valueOrFail(context->objectWithRecordName("Note", name));
    auto together = found.find(name);
    ASSERT_EQ(alone.has_value(), together != found.end());
    if (alone) {
      EXPECT_EQ(*alone, together->second);
    }
  }
}

class PstoreMerging : public PstoreContext {
 protected:
  void SetUp() override {
    insertNote(notebook.view(), "original");
    saveOrFail(notebook.view());
    viewNote = fetchAll(notebook.view(), "Note").at(0);
  }
  // Another context changes the note's title and saves.
  void retitleElsewhere(const std::string& title) {
    auto other = notebook.background();
    fetchAll(*other, "Note").at(0).setValue("title", title);
    saveOrFail(*other);
  }
  std::optional<ManagedObject> viewNote;
};

TEST_F(PstoreMerging, AutomaticMergeShowsChangesSavedElsewhere) {
  notebook.view().setAutomaticallyMergesChangesFromParent(true);
  retitleElsewhere("changed");
  EXPECT_EQ(text(*viewNote, "title"), "changed");

  auto other = notebook.background();
  other->deleteObject(fetchAll(*other, "Note").at(0));
  saveOrFail(*other);
  EXPECT_TRUE(viewNote->isDeleted());
  EXPECT_TRUE(viewNote->value("title").isMissing());
}

TEST_F(PstoreMerging, WithoutMergingObjectsKeepWhatTheyReadUntilMerged) {
  retitleElsewhere("changed");
  EXPECT_EQ(text(*viewNote, "title"), "original");
  auto history = valueOrFail(notebook.view().fetchHistory(std::nullopt));
  ManagedObjectContext::mergeChangesFromRemoteContextSave(history.back().objectIDChanges(),
                                                          {notebook.container.viewContext()});
  EXPECT_EQ(text(*viewNote, "title"), "changed");
}

TEST_F(PstoreMerging, ErrorPolicyRefusesToWriteOverAnotherContextsChange) {
  retitleElsewhere("theirs");
  viewNote->setValue("pinned", true);
  Result<void> saved = notebook.view().save();
  ASSERT_FALSE(saved);
  EXPECT_TRUE(isPersistentStoreError(saved.error(), PersistentStoreErrorCode::MergeConflict));
  EXPECT_EQ(fetchAll(*notebook.background(), "Note").at(0).value("pinned").as<bool>(), false);
}

TEST_F(PstoreMerging, PropertyObjectTrumpMergesPropertyByProperty) {
  notebook.view().setMergePolicy(ManagedObjectContext::MergePolicy::PropertyObjectTrump);
  retitleElsewhere("theirs");
  viewNote->setValue("pinned", true);
  saveOrFail(notebook.view());
  ManagedObject stored = fetchAll(*notebook.background(), "Note").at(0);
  EXPECT_EQ(text(stored, "title"), "theirs");
  EXPECT_EQ(stored.value("pinned").as<bool>(), true);
}

TEST_F(PstoreMerging, PropertyObjectTrumpDropsChangesToDeletedObjects) {
  notebook.view().setMergePolicy(ManagedObjectContext::MergePolicy::PropertyObjectTrump);
  auto other = notebook.background();
  other->deleteObject(fetchAll(*other, "Note").at(0));
  saveOrFail(*other);
  viewNote->setValue("pinned", true);
  saveOrFail(notebook.view());
  EXPECT_TRUE(fetchAll(*notebook.background(), "Note").empty());
}

TEST_F(PstoreContext, ObjectsOfADestroyedStoreAreForgottenAfterReload) {
  ManagedObject note = insertNote(notebook.view(), "old store");
  saveOrFail(notebook.view());
  auto coordinator = notebook.container.persistentStoreCoordinator();
  ASSERT_TRUE(coordinator->destroyPersistentStore(storePath()).ok());
  ASSERT_FALSE(load(notebook.container, fileStore(storePath())));
  insertNote(notebook.view(), "new store");
  saveOrFail(notebook.view());
  EXPECT_EQ(titles(fetchAll(notebook.view(), "Note")), std::vector<std::string>{"new store"});
}

}  // namespace
}  // namespace platform
