// Linked into every test program: before the first test runs, HOME and the user's data,
// configuration and cache roots point into a temporary folder of the program's own, which goes when
// the program's tests are done. A test that makes no user of its own (TemporaryUser) still never
// reads or writes the files of whoever runs the tests, and leaves nothing in their home.
//
// A test program that a test starts again (to run one test in a child process, say) keeps the roots
// it is given: the test chose them, and the child must find the files where the test looks. The
// variable below tells such a program from one started by hand or by the test runner.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/testing/TestEnvironment.h"

namespace {

constexpr const char* kProgramHomeVariable = "VELLORAN_TEST_PROGRAM_HOME";

class TemporaryProgramHome final : public ::testing::Environment {
 public:
  void SetUp() override {
    if (std::getenv(kProgramHomeVariable)) return;
    root_ = std::make_unique<platform::testing::TemporaryDirectory>();
    environment_ = std::make_unique<platform::testing::ScopedEnvironment>();
    platform::testing::setUserRootsBelow(*environment_, root_->path());
    environment_->set(kProgramHomeVariable, root_->path().string());
  }

  void TearDown() override {
    environment_.reset();
    root_.reset();
  }

 private:
  std::unique_ptr<platform::testing::TemporaryDirectory> root_;
  std::unique_ptr<platform::testing::ScopedEnvironment> environment_;
};

// gtest owns and deletes the environment.
[[maybe_unused]] auto* const temporaryProgramHome =
    ::testing::AddGlobalTestEnvironment(new TemporaryProgramHome);

}  // namespace
