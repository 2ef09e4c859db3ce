#pragma once
// Tests that run once where folders give locks and once where none does (a folder on a network home,
// or one the user may write but not list), also where the test runs as a user permission bits do
// not stop. `Fixture` is the test's own fixture; the cases are named GivingALock and GivingNoLock:
//
//   class MyLockCases : public platform::testing::FolderLockCases<MyFixture> {};
//   INSTANTIATE_TEST_SUITE_P(Folders, MyLockCases, ::testing::Bool(), platform::testing::folderLockCaseName);

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/paths/FolderLock.h"

namespace platform::testing {

template <class Fixture>
class FolderLockCases : public Fixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    Fixture::SetUp();
    if (!GetParam()) FolderLock::refuseForTesting(ENOLCK);
  }
  void TearDown() override {
    FolderLock::refuseForTesting(std::nullopt);
    Fixture::TearDown();
  }
};

inline std::string folderLockCaseName(const ::testing::TestParamInfo<bool>& folder) {
  return folder.param ? "GivingALock" : "GivingNoLock";
}

}  // namespace platform::testing
