// How a write of the store meets another context's commit that lands between its read and its save,
// as a mirror import's does: it ends as if it had come just after that commit, keeping both.

#include "Velloran/persistence/StoreWrite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/testing/PersistenceTestSupport.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran::testing {
namespace {

using platform::ManagedObjectContext;
using platform::Result;

class StoreWriteTest : public ::testing::Test {
 protected:
  // What the store's savePrompt writes, in two steps so that another commit can come between them:
  // the prompt read (or made), then its fields and versions written.
  static Result<platform::ManagedObject> readPrompt(ManagedObjectContext& context, const Prompt& prompt) {
    return findOrCreatePrompt(context, prompt.id, prompt.createdAt);
  }
  static Result<void> writePrompt(ManagedObjectContext& context, platform::ManagedObject& object,
                                  const Prompt& prompt) {
    if (Result<void> written = writePromptFields(object, prompt); !written) return written;
    return keepVersions(context, object, prompt.versions, prompt.id);
  }

  // Saves the prompt from another context of the same container, as an import commits its batch.
  void saveElsewhere(const Prompt& prompt) {
    std::shared_ptr<ManagedObjectContext> other = stack_.container()->newBackgroundContext();
    Result<platform::ManagedObject> object = readPrompt(*other, prompt);
    ASSERT_TRUE(object.ok());
    ASSERT_TRUE(writePrompt(*other, *object, prompt).ok());
    ASSERT_TRUE(other->save().ok());
  }

  // The prompt as one editor saves it: retitled `text`, with a version of that text, id `versionId`.
  Prompt edited(const std::string& text, std::uint8_t versionId) const {
    Prompt prompt = original_;
    prompt.title = text;
    prompt.versions = {PromptVersion{testUUID(versionId), prompt.id, text, "", 2, prompt.createdAt}};
    return prompt;
  }

  // Deletes the prompt from another context of the same container.
  void deleteElsewhere() {
    std::shared_ptr<ManagedObjectContext> other = stack_.container()->newBackgroundContext();
    Result<platform::ManagedObject> object = readPrompt(*other, original_);
    ASSERT_TRUE(object.ok());
    other->deleteObject(*object);
    ASSERT_TRUE(other->save().ok());
  }

  // Writes through writeToStore a change that reads the prompt, lets `overtake` commit elsewhere on
  // the run it is given (from 1), then applies `change` to what it read. Counts the runs in runs_.
  Result<void> writeOvertaken(
      const std::function<void(int run)>& overtake,
      const std::function<Result<void>(ManagedObjectContext&, platform::ManagedObject&)>& change) {
    runs_ = 0;
    return writeToStore(*stack_.container(), [&](ManagedObjectContext& context) -> Result<void> {
      Result<platform::ManagedObject> object = readPrompt(context, original_);
      if (!object) return object.error();
      overtake(++runs_);
      return change(context, *object);
    });
  }

  // Writes the caller's edit `prompt` over what was read.
  static auto writing(const Prompt& prompt) {
    return [prompt](ManagedObjectContext& context, platform::ManagedObject& object) {
      return writePrompt(context, object, prompt);
    };
  }

  std::vector<std::string> storedVersionTexts() {
    std::vector<std::string> texts;
    for (const Prompt& prompt : calls_.fetchAll())
      for (const PromptVersion& version : prompt.versions) texts.push_back(version.content);
    return texts;
  }

  platform::DeterministicDispatch dispatch_;
  TemporaryApplicationSupport support_;
  CoreDataStack stack_{false};
  CoreDataPromptStore store_{stack_.container(), dispatch_.sharedClock()};
  RepositoryCalls calls_{dispatch_, store_};
  const Prompt original_ = makePrompt({.content = "original"});
  int runs_ = 0;
};

TEST_F(StoreWriteTest, AWriteOvertakenBetweenItsReadAndItsSaveRunsAgainOnWhatTheOtherSaveLeft) {
  ASSERT_TRUE(calls_.save(original_).ok());
  const Result<void> written = writeOvertaken(
      [&](int run) {
        if (run == 1) saveElsewhere(edited("theirs", 120));
      },
      writing(edited("mine", 121)));

  ASSERT_TRUE(written.ok()) << written.error().debugDescription();
  EXPECT_EQ(runs_, 2);
  // The caller's values over the other save's, and every version of both.
  ASSERT_EQ(calls_.fetchAll().size(), 1u);
  EXPECT_EQ(calls_.fetchAll()[0].title, "mine");
  EXPECT_EQ(storedVersionTexts(), (std::vector<std::string>{"original", "theirs", "mine"}));
}

TEST_F(StoreWriteTest, AWriteOvertakenOnEveryRunFailsWithTheConflictAfterItsTries) {
  ASSERT_TRUE(calls_.save(original_).ok());
  const Result<void> written = writeOvertaken(
      [&](int run) {
        saveElsewhere(edited("theirs " + std::to_string(run), static_cast<std::uint8_t>(120 + run)));
      },
      writing(edited("mine", 110)));

  ASSERT_FALSE(written.ok());
  EXPECT_TRUE(isPersistentStoreError(written.error(), platform::PersistentStoreErrorCode::MergeConflict));
  EXPECT_EQ(runs_, kStoreWriteTries);
  // Nothing of the caller's was written; every other save was.
  EXPECT_EQ(calls_.fetchAll().at(0).title, "theirs " + std::to_string(kStoreWriteTries));
  const std::vector<std::string> texts = storedVersionTexts();
  EXPECT_EQ(texts.size(), std::size_t{1 + kStoreWriteTries});
  EXPECT_EQ(std::ranges::count(texts, "mine"), 0);
}

// A deletion and an edit of one prompt, whichever of them is the write that is overtaken: it ends as
// if it came second.
TEST_F(StoreWriteTest, ADeletionOvertakenByAnEditStillDeletes) {
  ASSERT_TRUE(calls_.save(original_).ok());
  const Result<void> written = writeOvertaken(
      [&](int run) {
        if (run == 1) saveElsewhere(edited("theirs", 120));
      },
      [](ManagedObjectContext& context, platform::ManagedObject& object) -> Result<void> {
        context.deleteObject(object);
        return {};
      });

  ASSERT_TRUE(written.ok()) << written.error().debugDescription();
  EXPECT_EQ(runs_, 2);
  EXPECT_TRUE(calls_.fetchAll().empty());
}

TEST_F(StoreWriteTest, AnEditOvertakenByADeletionSavesThePromptAfresh) {
  ASSERT_TRUE(calls_.save(original_).ok());
  const Result<void> written = writeOvertaken(
      [&](int run) {
        if (run == 1) deleteElsewhere();
      },
      writing(edited("mine", 121)));

  ASSERT_TRUE(written.ok()) << written.error().debugDescription();
  EXPECT_EQ(runs_, 2);
  ASSERT_EQ(calls_.fetchAll().size(), 1u);
  EXPECT_EQ(calls_.fetchAll()[0].title, "mine");
  EXPECT_EQ(storedVersionTexts(), std::vector<std::string>{"mine"});
}

TEST_F(StoreWriteTest, FailuresOtherThanAConflictAreReturnedAfterOneRun) {
  ASSERT_TRUE(calls_.save(original_).ok());
  int runs = 0;
  const platform::Error refused("test", 7, "refused");
  const Result<void> failedChange =
      writeToStore(*stack_.container(), [&](ManagedObjectContext&) -> Result<void> {
        ++runs;
        return refused;
      });
  ASSERT_FALSE(failedChange.ok());
  EXPECT_TRUE(failedChange.error().is("test", 7));
  EXPECT_EQ(runs, 1);

  // A save the store refuses, even one that another save overtook as well.
  Prompt tooLarge = edited("mine", 121);
  tooLarge.versions[0].versionNumber = std::int64_t{1} << 40;
  const Result<void> failedSave = writeOvertaken(
      [&](int run) {
        if (run == 1) saveElsewhere(edited("theirs", 120));
      },
      writing(tooLarge));
  ASSERT_FALSE(failedSave.ok());
  EXPECT_FALSE(isPersistentStoreError(failedSave.error(), platform::PersistentStoreErrorCode::MergeConflict))
      << failedSave.error().debugDescription();
  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(storedVersionTexts(), (std::vector<std::string>{"original", "theirs"}));
}

}  // namespace
}  // namespace velloran::testing
