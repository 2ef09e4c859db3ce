// A prompt deleted on one machine and changed later on another, which had not seen the deletion,
// comes back with every version it had: on the deleting machine, on the others, and on a fresh
// machine reading the journals in any order, without help from the machine that changed it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "Velloran/sync/tests/MirroredLibrarySupport.h"

namespace velloran::testing {
namespace {

using ::testing::ElementsAre;

class LibraryDeletedPromptComesBack : public MirroredLibraryTest {
 protected:
  platform::Date now() { return dispatch.clock().now(); }
  void goOffline() { std::ofstream(root() / "OFFLINE").put('\n'); }
  void goOnline() { std::filesystem::remove(root() / "OFFLINE"); }

  Prompt only(Library& library) {
    std::vector<Prompt> prompts = library.calls().fetchAll();
    EXPECT_EQ(prompts.size(), 1u);
    return prompts.empty() ? Prompt{} : prompts[0];
  }

  void addVersion(Library& library, const std::string& content) {
    const Prompt prompt = only(library);
    const PromptVersion version{
        platform::UUID::random(), prompt.id, content, "", prompt.versions.back().versionNumber + 1, now()};
    ASSERT_TRUE(library.calls().addVersion(version, prompt.id).ok());
  }

  void retitle(Library& library, const std::string& title) {
    Prompt prompt = only(library);
    prompt.title = title;
    ASSERT_TRUE(library.calls().save(prompt).ok());
  }

  // The journal a library writes, whether or not it has written it yet.
  std::filesystem::path journalOf(const Library& library) const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root())) {
      if (entry.is_directory() && entry.path().filename() == "journal")
        return entry.path() / (library.storeIdentifier().uuidString() + ".jsonl");
    }
    ADD_FAILURE() << "no journal folder";
    return {};
  }

  // Every order a fresh machine may read `journals` in (copies of them, named so that they are read
  // in that order) shows `expected` alone.
  void expectEveryReadingOrderShows(std::vector<std::filesystem::path> journals, const Prompt& expected) {
    std::sort(journals.begin(), journals.end());
    do {
      const std::filesystem::path mirror =
          mirrorFolder.path() / ("fresh " + std::to_string(++freshMachines_));
      const std::filesystem::path copies =
          mirror / std::filesystem::relative(journals[0].parent_path(), root());
      std::filesystem::create_directories(copies);
      std::string order;
      for (std::size_t position = 0; position < journals.size(); ++position) {
        std::string digits = std::to_string(position);
        digits.insert(0, 8 - digits.size(), '0');
        std::filesystem::copy_file(journals[position],
                                   copies / (digits + "-0000-4000-8000-000000000000.jsonl"));
        order += journals[position].stem().string().substr(0, 8) + " ";
      }
      Library fresh(mirror, dispatch);
      sync(3);
      EXPECT_EQ(only(fresh), expected) << "reading " << order;
    } while (std::next_permutation(journals.begin(), journals.end()));
  }

  const Prompt original = makePrompt({.id = 1, .title = "Plan", .content = "first"});

 private:
  int freshMachines_ = 0;
};

enum class LaterChange { retitle, addVersion };

class LibraryPromptChangedAfterItsDeletion : public LibraryDeletedPromptComesBack,
                                             public ::testing::WithParamInterface<LaterChange> {};

// The changing machine syncs once and is not used again; the deleting one syncs after it.
TEST_P(LibraryPromptChangedAfterItsDeletion, ComesBackWithEveryVersionOnTheDeletingMachineAndEveryOther) {
  Library changer(root(), dispatch);
  Library deleter(root(), dispatch);
  Prompt created = original;
  created.versions.push_back(PromptVersion{platform::UUID::random(), created.id, "second", "", 2, now()});
  ASSERT_TRUE(deleter.calls().save(created).ok());
  sync();
  const std::filesystem::path changerJournal = journalOf(changer);
  const std::filesystem::path deleterJournal = journalOf(deleter);

  goOffline();
  ASSERT_TRUE(deleter.calls().remove({original.id}).ok());
  deleter.close();
  dispatch.advance(std::chrono::seconds(5));
  std::vector<std::string> contents{"first", "second"};
  std::string title = "Plan";
  if (GetParam() == LaterChange::retitle) {
    title = "Plan, kept";
    retitle(changer, title);
  } else {
    addVersion(changer, "third");
    contents.push_back("third");
  }
  goOnline();
  sync();
  changer.close();

  deleter.open();
  sync(3);
  const Prompt kept = only(deleter);
  EXPECT_EQ(kept.title, title);
  EXPECT_EQ(contentsOf(kept), contents);
  expectEveryReadingOrderShows({changerJournal, deleterJournal}, kept);
}

INSTANTIATE_TEST_SUITE_P(EitherChange, LibraryPromptChangedAfterItsDeletion,
                         ::testing::Values(LaterChange::retitle, LaterChange::addVersion),
                         [](const ::testing::TestParamInfo<LaterChange>& info) {
                           return info.param == LaterChange::retitle ? "Retitle" : "AddVersion";
                         });

// The deleting machine never read the version added last, and reads it before the retitle goes out.
TEST_F(LibraryDeletedPromptComesBack, AVersionTheDeletingMachineNeverReadComesBackWithTheOthers) {
  Library deleter(root(), dispatch);
  Library changer(root(), dispatch);
  ASSERT_TRUE(changer.calls().save(original).ok());
  sync();
  addVersion(changer, "second");
  addVersion(changer, "third");
  sync();
  ASSERT_THAT(contentsOf(only(deleter)), ElementsAre("first", "second", "third"));
  const std::filesystem::path changerJournal = journalOf(changer);
  const std::filesystem::path deleterJournal = journalOf(deleter);

  deleter.close();
  addVersion(changer, "fourth");
  sync();
  goOffline();
  deleter.reopen();
  sync();
  ASSERT_TRUE(deleter.calls().remove({original.id}).ok());
  dispatch.advance(std::chrono::seconds(1));
  retitle(changer, "Plan, kept");
  changer.close();
  goOnline();
  sync();
  ASSERT_THAT(deleter.calls().fetchAll(), ::testing::IsEmpty());
  changer.open();
  sync();
  changer.close();
  sync(2);

  const Prompt kept = only(deleter);
  EXPECT_EQ(kept.title, "Plan, kept");
  EXPECT_THAT(contentsOf(kept), ElementsAre("first", "second", "third", "fourth"));
  expectEveryReadingOrderShows({changerJournal, deleterJournal}, kept);
}

TEST_F(LibraryDeletedPromptComesBack, VersionsAddedAroundADeletionThatMissedThemAllStayOnEveryMachine) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  Library c(root(), dispatch);
  ASSERT_TRUE(a.calls().save(original).ok());
  sync();

  goOffline();
  addVersion(a, "two");
  dispatch.advance(std::chrono::seconds(1));
  ASSERT_TRUE(b.calls().remove({original.id}).ok());
  dispatch.advance(std::chrono::seconds(1));
  addVersion(c, "three");
  goOnline();
  sync(4);

  const Prompt kept = only(a);
  EXPECT_THAT(contentsOf(kept), ElementsAre("first", "two", "three"));
  EXPECT_EQ(only(b), kept);
  EXPECT_EQ(only(c), kept);
  expectEveryReadingOrderShows({journalOf(a), journalOf(b), journalOf(c)}, kept);
}

}  // namespace
}  // namespace velloran::testing
