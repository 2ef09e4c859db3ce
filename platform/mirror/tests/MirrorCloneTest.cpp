// A disk cloned with its host name and home path: two machines with one store identity, hence one
// journal name, each with its own copy of the mirror folder that a copier carries between them. The
// copier either lets the newer file win, or keeps the other side's file beside it as a conflict
// copy. Every acknowledged write and deletion of either machine must reach the other.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/mirror/tests/MirrorCloneSupport.h"

namespace platform {
namespace {

using namespace testing;

class MirrorClone : public ClonedDiskTest, public ::testing::WithParamInterface<Copier> {};

TEST_P(MirrorClone, EveryAcknowledgedWriteAndDeletionOfBothReachesBoth) {
  a = makeDevice("a");
  a->addNote("Shared 1");
  a->addNote("Shared 2");
  a->addNote("Shared 3");
  sync(2);
  cloneAOntoB();
  JournalCopier copier(journals(), rootOfB() / kContainerIdentifier / "journal", GetParam());

  std::vector<std::string> expected{"Shared 3"};
  for (int round = 1; round <= 5; ++round) {
    const std::string number = std::to_string(round);
    a->addNote("A" + number);
    b->addNote("B" + number);
    expected.push_back("A" + number);
    expected.push_back("B" + number);
    if (round == 2) a->remove("Shared 1");
    if (round == 3) b->remove("Shared 2");
    if (round == 4) {
      a->rename("Shared 3", "Shared 3 renamed on a");
      expected.front() = "Shared 3 renamed on a";
    }
    // Acknowledged: written to the machine's own copy of the folder, before the copier runs.
    sync();
    copier.carry();
  }
  syncBoth(copier, 6);

  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(a->titles(), expected);
  EXPECT_EQ(b->titles(), expected);
}

INSTANTIATE_TEST_SUITE_P(EitherCopier, MirrorClone,
                         ::testing::Values(Copier::newerWins, Copier::conflictCopies),
                         [](const ::testing::TestParamInfo<Copier>& info) {
                           return info.param == Copier::newerWins ? "NewerFileWins" : "ConflictCopiesKept";
                         });

}  // namespace
}  // namespace platform
