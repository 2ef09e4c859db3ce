// Libraries that change one prompt at the same time: while all of them run, while they are offline,
// with an editor left open, and a deletion against an edit. However the changes meet, every machine
// ends with every version anyone saved, in the same order, and with no duplicate rows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <set>

#include "Velloran/sync/tests/MirroredLibrarySupport.h"

namespace velloran::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class LibraryConflictTest : public MirroredLibraryTest {
 protected:
  platform::Date now() { return dispatch.clock().now(); }

  // The one stored prompt of a library.
  Prompt only(Library& library) {
    std::vector<Prompt> prompts = library.calls().fetchAll();
    EXPECT_EQ(prompts.size(), 1u);
    return prompts.empty() ? Prompt{} : prompts[0];
  }

  // What the editor does with a changed text: the copy it holds, plus a version numbered after the
  // copy's last one, saved whole.
  static Prompt withNewText(Prompt copy, const std::string& content, platform::Date at) {
    const std::int64_t number = copy.versions.empty() ? 1 : copy.versions.back().versionNumber + 1;
    copy.versions.push_back(PromptVersion{platform::UUID::random(), copy.id, content, "", number, at});
    copy.updatedAt = at;
    return copy;
  }

  void editText(Library& library, const std::string& content) {
    ASSERT_TRUE(library.calls().save(withNewText(only(library), content, now())).ok());
  }

  void goOffline() { std::ofstream(root() / "OFFLINE").put('\n'); }
  void goOnline() { std::filesystem::remove(root() / "OFFLINE"); }

  static std::vector<std::int64_t> numbersOf(const Prompt& prompt) {
    std::vector<std::int64_t> numbers;
    for (const PromptVersion& version : prompt.versions) numbers.push_back(version.versionNumber);
    return numbers;
  }

  static std::int64_t versionRows(const Library& library) {
    return platform::testing::RawDatabase(library.support().storePath())
        .count("SELECT count(*) FROM ZVERSIONENTITY");
  }

  const Prompt original = makePrompt({.id = 1, .title = "Plan", .content = "first"});
};

TEST_F(LibraryConflictTest, ThreeMachinesEditingOnePromptWhileRunningEndWithEveryVersionInOneOrder) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  Library c(root(), dispatch);
  ASSERT_TRUE(a.calls().save(original).ok());
  sync();

  std::set<std::string> saved{"first"};
  std::vector<Library*> machines{&a, &b, &c};
  for (int round = 0; round < 6; ++round) {
    for (std::size_t machine = 0; machine < machines.size(); ++machine) {
      const std::string text = "machine " + std::to_string(machine) + " round " + std::to_string(round);
      editText(*machines[machine], text);
      saved.insert(text);
      // Some edits meet before the others arrive, some after.
      dispatch.advance(std::chrono::milliseconds(round % 2 == 0 ? 150 : 700));
    }
  }
  sync(4);

  const Prompt onA = only(a);
  EXPECT_EQ(only(b), onA);
  EXPECT_EQ(only(c), onA);
  const std::vector<std::string> contents = contentsOf(onA);
  EXPECT_EQ(std::set<std::string>(contents.begin(), contents.end()), saved);
  EXPECT_EQ(contents.size(), saved.size()) << "each version once";
  for (Library* machine : machines) {
    EXPECT_EQ(versionRows(*machine), static_cast<std::int64_t>(saved.size())) << "no duplicate rows";
    EXPECT_THAT(failures(machine->events()), IsEmpty());
  }
}

TEST_F(LibraryConflictTest, OfflineEditsOnBothMachinesAreBothKeptAndTheLaterIsCurrentEverywhere) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  ASSERT_TRUE(a.calls().save(original).ok());
  sync();

  goOffline();
  editText(a, "from a");
  sync(2);
  editText(b, "from b, later");
  sync(2);
  goOnline();
  sync(3);

  EXPECT_THAT(contentsOf(only(a)), ElementsAre("first", "from a", "from b, later"));
  EXPECT_EQ(only(a), only(b));
  EXPECT_EQ(versionRows(a), 3);
  EXPECT_EQ(versionRows(b), 3);

  // Both were numbered 2; the later of them became 3 on both machines. The next edit, on the
  // machine whose own 2 stayed, numbers from the current one and is current everywhere.
  for (Library* machine : {&a, &b}) EXPECT_THAT(numbersOf(only(*machine)), ElementsAre(1, 2, 3));
  editText(a, "next, on a");
  sync(2);
  for (Library* machine : {&a, &b}) {
    EXPECT_THAT(numbersOf(only(*machine)), ElementsAre(1, 2, 3, 4));
    EXPECT_EQ(contentsOf(only(*machine)).back(), "next, on a");
  }
}

TEST_F(LibraryConflictTest, EditorsOpenOnBothMachinesSavedInTurnGiveDistinctNumbersInOneOrderEverywhere) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  ASSERT_TRUE(a.calls().save(original).ok());
  sync();
  const Prompt openOnA = only(a);
  const Prompt openOnB = only(b);

  // Each editor numbers its new text after the last version it shows: both say 2.
  ASSERT_TRUE(b.calls().save(withNewText(openOnB, "from b", now())).ok());
  sync();
  ASSERT_THAT(contentsOf(only(a)), ElementsAre("first", "from b"))
      << "a has b's version, its editor does not";
  ASSERT_TRUE(a.calls().save(withNewText(openOnA, "from a, later", now())).ok());
  sync(2);

  for (Library* machine : {&a, &b}) {
    const Prompt prompt = only(*machine);
    EXPECT_THAT(contentsOf(prompt), ElementsAre("first", "from b", "from a, later"));
    EXPECT_THAT(numbersOf(prompt), ElementsAre(1, 2, 3));
    EXPECT_EQ(versionRows(*machine), 3);
  }
  EXPECT_EQ(only(a), only(b));

  // What each machine stores is numbered alike, not only what it lists.
  for (Library* machine : {&a, &b}) {
    EXPECT_EQ(platform::testing::RawDatabase(machine->support().storePath())
                  .count("SELECT count(DISTINCT ZVERSIONNUMBER) FROM ZVERSIONENTITY"),
              3);
  }
}

// A machine whose clock ran ahead and was set back, or one whose clock is behind the others': what
// it saves after another machine's version arrived still comes after that version, on every machine,
// and the version from elsewhere keeps the stamp it came with.
TEST_F(LibraryConflictTest, AnEditSavedAfterTheClockWasSetBackComesAfterTheVersionsTheMachineHeld) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  Prompt created = original;
  created.versions[0].createdAt = now();
  ASSERT_TRUE(a.calls().save(created).ok());
  sync();

  dispatch.clock().advance(std::chrono::minutes(5));
  editText(b, "from b");
  sync();
  const PromptVersion fromB = only(b).versions.back();
  ASSERT_THAT(contentsOf(only(a)), ElementsAre("first", "from b"));

  dispatch.clock().advanceWall(-std::chrono::hours(2));
  editText(a, "from a, clock set back");
  dispatch.clock().advanceWall(-std::chrono::hours(1));
  editText(a, "from a, set back again");
  sync(2);

  for (Library* machine : {&a, &b}) {
    const Prompt prompt = only(*machine);
    EXPECT_THAT(contentsOf(prompt),
                ElementsAre("first", "from b", "from a, clock set back", "from a, set back again"));
    EXPECT_THAT(numbersOf(prompt), ElementsAre(1, 2, 3, 4));
    ASSERT_EQ(prompt.versions.size(), 4u);
    EXPECT_EQ(prompt.versions[1], fromB);
  }
  EXPECT_EQ(only(a), only(b));
}

// Three machines that each wrote while apart pass their work on in the order given: the first sends
// its own, the next takes what was sent and sends its own with it, and so on; then every machine takes
// everything.
using PassingOrder = std::vector<std::size_t>;

class VersionNumbersInAnyOrder : public LibraryConflictTest,
                                 public ::testing::WithParamInterface<PassingOrder> {
 protected:
  void push(Library& library) {
    ASSERT_TRUE(
        runToCompletion<void>(dispatch, [&](auto done) { library.monitor().pushChanges(done); }).ok());
  }
  void pull(Library& library) {
    ASSERT_TRUE(
        runToCompletion<void>(dispatch, [&](auto done) { library.monitor().pullChanges(done); }).ok());
  }

  // A version added as the editor adds one: numbered after the last one the machine shows.
  void addText(Library& library, const std::string& content) {
    const Prompt prompt = only(library);
    const PromptVersion version{
        platform::UUID::random(), prompt.id, content, "", prompt.versions.back().versionNumber + 1, now()};
    ASSERT_TRUE(library.calls().addVersion(version, prompt.id).ok());
  }

  // Whether the library's store file holds each version the library lists under the number it lists.
  static bool storesTheListedNumbers(Library& library, const Prompt& listed) {
    platform::testing::RawDatabase rows(library.support().storePath());
    return std::ranges::all_of(listed.versions, [&rows](const PromptVersion& version) {
      std::string hex = version.id.uuidString();
      std::erase(hex, '-');
      return rows.count("SELECT count(*) FROM ZVERSIONENTITY WHERE hex(ZID) = '" + hex +
                        "' AND ZVERSIONNUMBER = " + std::to_string(version.versionNumber)) == 1;
    });
  }

  static std::vector<std::pair<std::int64_t, std::string>> numbered(const Prompt& prompt) {
    std::vector<std::pair<std::int64_t, std::string>> versions;
    for (const PromptVersion& version : prompt.versions)
      versions.emplace_back(version.versionNumber, version.content);
    return versions;
  }

  // Every library lists the prompt as `first` does, numbered 1 upwards, and stores those numbers.
  void expectAllAlike(const std::vector<Library*>& machines, std::size_t versions) {
    const Prompt listed = only(*machines.front());
    std::vector<std::int64_t> upwards(versions);
    std::iota(upwards.begin(), upwards.end(), 1);
    EXPECT_EQ(numbersOf(listed), upwards);
    for (std::size_t machine = 0; machine < machines.size(); ++machine) {
      const Prompt shown = only(*machines[machine]);
      EXPECT_EQ(numbered(shown), numbered(listed)) << "machine " << machine;
      EXPECT_EQ(shown, listed) << "machine " << machine;
      EXPECT_TRUE(storesTheListedNumbers(*machines[machine], listed)) << "machine " << machine;
    }
  }
};

// The prompt's newest version was stamped by a clock that ran 20 days ahead, so the versions the
// three machines add next, one at a time or two in one save, are stamped by the ticks after it and
// meet on equal stamps.
TEST_P(VersionNumbersInAnyOrder, MachinesHoldingTheSameVersionsNumberThemAlike) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  Library d(root(), dispatch);
  ASSERT_TRUE(a.calls().save(original).ok());
  sync();
  dispatch.clock().advanceWall(std::chrono::hours(24 * 20));
  addText(a, "from a, clock ahead");
  sync();
  dispatch.clock().advanceWall(-std::chrono::hours(24 * 20));

  const std::vector<Library*> machines{&a, &b, &d};
  for (std::size_t machine = 0; machine < machines.size(); ++machine) {
    ASSERT_THAT(contentsOf(only(*machines[machine])), ElementsAre("first", "from a, clock ahead"));
    const std::string name = "machine " + std::to_string(machine);
    if (machine == 1) {
      // Both in one save, as an editor holding both writes them.
      ASSERT_TRUE(
          b.calls().save(withNewText(withNewText(only(b), name + " one", now()), name + " two", now())).ok());
      continue;
    }
    for (const char* text : {" one", " two"}) addText(*machines[machine], name + text);
  }
  for (std::size_t machine : GetParam()) {
    pull(*machines[machine]);
    push(*machines[machine]);
  }
  for (Library* machine : machines) pull(*machine);
  Library fresh(root(), dispatch);
  sync(2);
  expectAllAlike({&a, &b, &d, &fresh}, 8);

  // A save writes the numbers it gave; every machine still numbers alike.
  addText(d, "after, on d");
  sync(2);
  expectAllAlike({&a, &b, &d, &fresh}, 9);
  EXPECT_EQ(contentsOf(only(a)).back(), "after, on d");
}

INSTANTIATE_TEST_SUITE_P(PassedOn, VersionNumbersInAnyOrder,
                         ::testing::Values(PassingOrder{0, 1, 2}, PassingOrder{0, 2, 1},
                                           PassingOrder{1, 0, 2}, PassingOrder{1, 2, 0},
                                           PassingOrder{2, 0, 1}, PassingOrder{2, 1, 0}),
                         [](const ::testing::TestParamInfo<PassingOrder>& info) {
                           std::string name;
                           for (std::size_t machine : info.param) name += "abd"[machine];
                           return name;
                         });

TEST_F(LibraryConflictTest, AnEditorLeftOpenWhileARemoteVersionArrivesKeepsThatVersion) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  ASSERT_TRUE(a.calls().save(original).ok());
  sync();
  const Prompt openInEditor = only(a);

  editText(b, "from b");
  sync();
  ASSERT_THAT(contentsOf(only(a)), ElementsAre("first", "from b"));

  Prompt edited = withNewText(openInEditor, "from a's editor", now());
  edited.title = "Plan, edited";
  ASSERT_TRUE(a.calls().save(edited).ok());
  sync();

  for (Library* machine : {&a, &b}) {
    const Prompt prompt = only(*machine);
    EXPECT_EQ(prompt.title, "Plan, edited");
    EXPECT_THAT(contentsOf(prompt), ElementsAre("first", "from b", "from a's editor"));
  }
}

TEST_F(LibraryConflictTest, AnEditMadeBeforeADeletionStaysDeletedOnBothMachines) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  ASSERT_TRUE(a.calls().save(original).ok());
  sync();

  goOffline();
  editText(b, "edited before the deletion");
  dispatch.advance(std::chrono::seconds(5));
  ASSERT_TRUE(a.calls().remove({original.id}).ok());
  goOnline();
  sync(3);

  EXPECT_THAT(a.calls().fetchAll(), IsEmpty());
  EXPECT_THAT(b.calls().fetchAll(), IsEmpty());
}

TEST_F(LibraryConflictTest, AnEditMadeAfterADeletionBringsThePromptBackWithAllItsVersions) {
  Library a(root(), dispatch);
  Library b(root(), dispatch);
  Library c(root(), dispatch);
  ASSERT_TRUE(a.calls().save(withNewText(original, "second", now())).ok());
  sync();

  goOffline();
  ASSERT_TRUE(a.calls().remove({original.id}).ok());
  dispatch.advance(std::chrono::seconds(5));
  Prompt revived = withNewText(only(b), "edited after the deletion", now());
  revived.title = "Plan, kept";
  ASSERT_TRUE(b.calls().save(revived).ok());
  goOnline();
  sync(3);
  Library fresh(root(), dispatch);
  sync(2);

  for (Library* machine : {&a, &b, &c, &fresh}) {
    const Prompt prompt = only(*machine);
    EXPECT_EQ(prompt.title, "Plan, kept");
    EXPECT_THAT(contentsOf(prompt), ElementsAre("first", "second", "edited after the deletion"));
    EXPECT_EQ(prompt, only(b));
    EXPECT_EQ(versionRows(*machine), 3);
  }
}

}  // namespace
}  // namespace velloran::testing
