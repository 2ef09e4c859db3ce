// Two starts of the real velloran executable on one home: the second brings the first's window
// forward and ends, whatever temporary folder either was given; a killed first leaves nothing in the
// second's way; a first that holds the lock but does not answer makes the second end with a failure
// before it opens anything.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "AppProcessFixture.h"

namespace {

const std::string kHandedOverLine =
    "Velloran läuft bereits: das Fenster der laufenden App wurde nach vorn geholt.\n";

class InstanceProcessTest : public velloran::testing::AppProcessFixture {
 protected:
  std::filesystem::path dataFolder() const { return user_.dataHome() / bundleIdentifier_; }
  std::filesystem::path storeFile() const { return dataFolder() / "Velloran.sqlite"; }

  // The first start, once it has opened its library.
  std::unique_ptr<velloran::testing::AppProcess> startFirst() {
    std::unique_ptr<velloran::testing::AppProcess> first = startApp();
    EXPECT_TRUE(velloran::testing::eventually([&] { return std::filesystem::exists(storeFile()); }));
    return first;
  }

  // A second start, with output files of its own; asked to stop as soon as its event loop runs,
  // should it run at all.
  int runSecond() {
    const std::filesystem::path folder = user_.root() / "second";
    std::filesystem::create_directories(folder);
    velloran::testing::AppProcess second(VELLORAN_EXECUTABLE, {}, folder,
                                         velloran::testing::AppProcess::Start::stopRequested);
    const int status = second.waitForExit();
    output_ = second.standardOutput();
    errors_ = second.standardError();
    return status;
  }

  // A second start once the first answers: the first does so once its start-up has ended, and a
  // second start before that may give up waiting.
  int runSecondUntilAnswered() {
    int status = 1;
    EXPECT_TRUE(velloran::testing::eventually([&] {
      status = runSecond();
      return status != 1 || errors_.find("nicht rechtzeitig geantwortet") == std::string::npos;
    })) << errors_;
    return status;
  }

  // A folder of its own for TMPDIR.
  std::filesystem::path temporaryFolder(const std::string& name) const {
    const std::filesystem::path folder = user_.root() / name;
    std::filesystem::create_directories(folder);
    return folder;
  }

  static bool holdsHandOverSocket(const std::filesystem::path& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      if (entry.path().filename().string().starts_with("velloran-") && entry.is_socket(error)) return true;
    }
    return false;
  }
};

TEST_F(InstanceProcessTest, ASecondStartBringsTheRunningWindowForwardAndEnds) {
  std::unique_ptr<velloran::testing::AppProcess> first = startFirst();

  EXPECT_EQ(runSecondUntilAnswered(), 0) << errors_;
  EXPECT_EQ(output_, kHandedOverLine);

  first->requestStop();
  EXPECT_EQ(first->waitForExit(), 0) << "the first ran on until asked to stop";
}

TEST_F(InstanceProcessTest, StartsWithDifferentTemporaryFoldersMeetInTheRuntimeFolder) {
  const std::filesystem::path firstTemporary = temporaryFolder("tmp-first");
  user_.environment().set("TMPDIR", firstTemporary.string());
  std::unique_ptr<velloran::testing::AppProcess> first = startFirst();
  ASSERT_TRUE(velloran::testing::eventually(
      [&] { return holdsHandOverSocket(user_.runtimeRoot()) || holdsHandOverSocket(firstTemporary); }));
  ASSERT_TRUE(holdsHandOverSocket(user_.runtimeRoot())) << "the socket is not in the runtime folder";

  user_.environment().set("TMPDIR", temporaryFolder("tmp-second").string());
  EXPECT_EQ(runSecondUntilAnswered(), 0) << errors_;
  EXPECT_EQ(output_, kHandedOverLine);

  first->requestStop();
  EXPECT_EQ(first->waitForExit(), 0) << "the first ran on until asked to stop";
}

TEST_F(InstanceProcessTest, AKilledRunningAppDoesNotKeepTheNextStartFromRunning) {
  std::unique_ptr<velloran::testing::AppProcess> first = startFirst();
  ASSERT_TRUE(std::filesystem::exists(user_.dataHome() / (bundleIdentifier_ + ".lock")));
  first.reset();  // SIGKILL

  EXPECT_EQ(runSecond(), 0) << errors_;
  EXPECT_EQ(output_, "");
  EXPECT_TRUE(std::filesystem::exists(storeFile()));
}

TEST_F(InstanceProcessTest, ARunningAppThatDoesNotAnswerMakesTheSecondStartFailWithoutOpeningAnything) {
  // What a running app that hangs looks like to a later start: the lock is held, nobody answers.
  std::filesystem::create_directories(user_.dataHome());
  const int lock =
      ::open((user_.dataHome() / (bundleIdentifier_ + ".lock")).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);

  // The stop request closes the message box, as a log-out would.
  EXPECT_EQ(runSecond(), 1);

  EXPECT_EQ(errors_.find("Velloran läuft bereits, hat aber nicht rechtzeitig geantwortet. Warte, bis sein "
                         "Fenster erscheint, oder beende das laufende Velloran und starte es dann neu.\n"),
            0u)
      << errors_;
  EXPECT_EQ(output_, "");
  EXPECT_FALSE(std::filesystem::exists(dataFolder())) << "the second start made no data folder";
  ::close(lock);
}

}  // namespace
