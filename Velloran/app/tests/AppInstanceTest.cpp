// Starts of the app on one data folder, each claiming it as main() does. Starts at the same moment
// run as processes of their own (platform/testing/ProcessesAtOnce.h), each with its own application
// object; a start that runs counts the requests that reach it. A test that needs no second process
// claims twice in its own: the lock tells two open lock files of one process apart too. Whatever
// listens at the socket in a running instance's stead is a stand-in server in a child process.

#include "Velloran/app/AppInstance.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "AnsweringListener.h"
#include "Velloran/app/InstanceHandOver.h"
#include "Velloran/app/InstanceLock.h"
#include "Velloran/app/InstanceSocketFolder.h"
#include "platform/testing/ProcessesAtOnce.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

namespace fs = std::filesystem;
using Role = AppInstance::Role;
using namespace std::chrono_literals;

// Only a guard against a hang: a loaded machine that builds and tests in parallel never reaches it.
constexpr std::chrono::milliseconds kHangGuard = 60s;
// For a start meant to give up: how long it waits decides nothing here.
constexpr std::chrono::milliseconds kGivingUpBound = 200ms;
// What a start that ran answers: this plus the requests that reached it.
constexpr int kRan = 100;
// What a start answers that gave up or found nothing as it should.
constexpr int kFailed = 1;

// The application object main() makes before it claims, for `body` only.
int withApplication(const std::function<int(QCoreApplication&)>& body) {
  int argc = 1;
  char name[] = "velloran-instance-test";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  return body(application);
}

// Runs the event loop until `done` holds; false when it still does not once the guard runs out.
bool runLoopUntil(QCoreApplication& application, const std::function<bool()>& done) {
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &application, [&] {
    if (done()) application.quit();
  });
  check.start(5ms);
  QTimer::singleShot(kHangGuard, &application, &QCoreApplication::quit);
  QCoreApplication::exec();
  return done();
}

class AppInstanceTest : public ::testing::Test {
 protected:
  fs::path dataFolder() const { return user_.dataHome() / "com.velloran.Velloran"; }
  fs::path lockFile() const { return user_.dataHome() / "com.velloran.Velloran.lock"; }
  fs::path socketFile() const {
    return instanceServerName(instanceSocketFolder().path, fs::weakly_canonical(dataFolder())).toStdString();
  }

  // One start: a start that runs stays until `requests` requests have reached it; a start that
  // hands over answers 0.
  int startAwaiting(int requests) const {
    return withApplication([&](QCoreApplication& application) {
      AppInstance instance = AppInstance::claim(dataFolder(), kHangGuard);
      if (instance.role() == Role::handedOver) return 0;
      if (instance.role() != Role::running) return kFailed;
      int reached = 0;
      instance.setComeForward([&reached] { ++reached; });
      runLoopUntil(application, [&] { return reached == requests; });
      return kRan + reached;
    });
  }

  static std::vector<int> sorted(std::vector<int> results) {
    std::sort(results.begin(), results.end());
    return results;
  }

  // Its own runtime folder too, as a desktop session gives the user.
  platform::testing::TemporaryUser user_;
};

TEST_F(AppInstanceTest, OfFourStartsAtOnceOneRunsAndTheOthersEndOnceTheirRequestReachedIt) {
  const std::vector<int> results = platform::testing::runAtOnce(4, [&](int) { return startAwaiting(3); });

  EXPECT_EQ(sorted(results), (std::vector<int>{0, 0, 0, kRan + 3}));
}

TEST_F(AppInstanceTest, AStartKilledWhileRunningLeavesNothingThatKeepsTheNextOnesFromDecidingAnew) {
  const int killed = platform::testing::runAtOnce({[&] {
    return withApplication([&](QCoreApplication&) {
      AppInstance instance = AppInstance::claim(dataFolder(), kHangGuard);
      if (instance.role() == Role::running) ::raise(SIGKILL);
      return kFailed;
    });
  }})[0];
  ASSERT_EQ(killed, -1) << "the start did not run";
  ASSERT_TRUE(fs::exists(lockFile()));
  ASSERT_TRUE(fs::is_socket(socketFile())) << "the killed start left no socket behind";

  const std::vector<int> results = platform::testing::runAtOnce(3, [&](int) { return startAwaiting(2); });

  EXPECT_EQ(sorted(results), (std::vector<int>{0, 0, kRan + 2}));
}

TEST_F(AppInstanceTest, ARequestBeforeTheWindowExistsIsAnsweredAtOnceAndActedOnWhenItIsThere) {
  const fs::path answered = user_.root() / "answered";
  const std::vector<int> results = platform::testing::runAtOnce(2, [&](int) {
    return withApplication([&](QCoreApplication& application) {
      AppInstance instance = AppInstance::claim(dataFolder(), kHangGuard);
      if (instance.role() == Role::handedOver) {
        std::ofstream(answered).put('x');
        return 0;
      }
      if (instance.role() != Role::running) return kFailed;
      if (!runLoopUntil(application, [&] { return fs::exists(answered); })) return kFailed;
      int reached = 0;
      instance.setComeForward([&reached] { ++reached; });
      instance.setComeForward([&reached] { reached += 10; });
      return kRan + reached;
    });
  });

  EXPECT_EQ(sorted(results), (std::vector<int>{0, kRan + 1})) << "the held request is acted on once";
}

TEST_F(AppInstanceTest, AStartGivesUpWhenTheLockIsHeldButNoAnswerComes) {
  withApplication([&](QCoreApplication&) {
    // Listening, but its loop never runs: the request is never read.
    AppInstance running = AppInstance::claim(dataFolder(), kHangGuard);
    EXPECT_EQ(running.role(), Role::running);
    EXPECT_EQ(AppInstance::claim(dataFolder(), kGivingUpBound).role(), Role::unanswered);
    return 0;
  });

  // Holding the lock without ever listening.
  InstanceLock held(lockFile());
  ASSERT_EQ(held.take(), InstanceLock::Taking::taken);
  withApplication([&](QCoreApplication&) {
    EXPECT_EQ(AppInstance::claim(dataFolder(), kGivingUpBound).role(), Role::unanswered);
    return 0;
  });
}

TEST_F(AppInstanceTest, AListenerOfAnotherUserAtTheSocketIsNeitherAskedNorBelieved) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can listen as another user";
  fs::create_directories(lockFile().parent_path());
  InstanceLock held(lockFile());
  ASSERT_EQ(held.take(), InstanceLock::Taking::taken);
  velloran::testing::AnsweringListener stranger(socketFile(), velloran::testing::kOtherUser);
  ASSERT_TRUE(stranger.listening());

  withApplication([&](QCoreApplication&) {
    EXPECT_EQ(AppInstance::claim(dataFolder(), kGivingUpBound).role(), Role::unanswered);
    return 0;
  });

  EXPECT_EQ(stranger.requestsHeard(), 0) << "the other user learnt of the start";
}

TEST_F(AppInstanceTest, OnlyAServerOfTheAskingUserIsAskedAndBelieved) {
  velloran::testing::AnsweringListener server(socketFile());
  ASSERT_TRUE(server.listening());

  withApplication([&](QCoreApplication&) {
    const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
    const QString name = QString::fromStdString(socketFile().string());
    EXPECT_EQ(askToComeForward(name, deadline, ::geteuid() + 1), Asking::stranger);
    EXPECT_EQ(server.requestsHeard(), 0) << "a server of another user heard the request";
    EXPECT_EQ(askToComeForward(name, deadline), Asking::answered);
    EXPECT_EQ(server.requestsHeard(), 1);
    return 0;
  });
}

TEST_F(AppInstanceTest, WithoutAFolderOnlyTheUserCanReachTheRunningStartSaysSoAndLaterOnesGetNoAnswer) {
  // The folder made for the user alone in the temporary folder, open to everyone.
  user_.environment().set("XDG_RUNTIME_DIR", std::nullopt);
  user_.environment().set("TMPDIR", user_.root().string());
  const fs::path open = user_.root() / ("velloran-" + std::to_string(::geteuid()));
  fs::create_directory(open);
  fs::permissions(open, fs::perms::all);
  platform::testing::StandardErrorFile errors(user_.root() / "stderr.txt");

  withApplication([&](QCoreApplication&) {
    AppInstance running = AppInstance::claim(dataFolder(), kHangGuard);
    EXPECT_EQ(running.role(), Role::running);
    EXPECT_EQ(AppInstance::claim(dataFolder(), kGivingUpBound).role(), Role::unanswered);
    return 0;
  });

  EXPECT_EQ(errors.contents(), "Velloran ist für einen zweiten Start nicht erreichbar (" + open.string() +
                                   ": " + std::strerror(EACCES) +
                                   "): der meldet dann, dass Velloran nicht antwortet.\n");
  EXPECT_TRUE(fs::is_empty(open)) << "nothing listens there";
}

TEST_F(AppInstanceTest, TwoSpellingsOfOneDataFolderMeetAtOneLock) {
  fs::create_directories(user_.dataHome());
  fs::create_directory_symlink(user_.dataHome(), user_.root() / "link");

  withApplication([&](QCoreApplication&) {
    AppInstance running = AppInstance::claim(dataFolder(), kHangGuard);
    EXPECT_EQ(running.role(), Role::running);
    EXPECT_EQ(AppInstance::claim(user_.root() / "link" / "com.velloran.Velloran", kGivingUpBound).role(),
              Role::unanswered);
    return 0;
  });
}

TEST_F(AppInstanceTest, WhereNoLockIsToBeHadEveryStartRunsAndSaysSo) {
  // A folder where the lock file belongs: it cannot be opened, whoever runs the test.
  fs::create_directories(lockFile());
  platform::testing::StandardErrorFile errors(user_.root() / "stderr.txt");

  withApplication([&](QCoreApplication&) {
    AppInstance first = AppInstance::claim(dataFolder(), kGivingUpBound);
    AppInstance second = AppInstance::claim(dataFolder(), kGivingUpBound);
    EXPECT_EQ(first.role(), Role::running);
    EXPECT_EQ(second.role(), Role::running);
    return 0;
  });

  // In the locale the application object chose, as the lines were.
  const std::string line = "Velloran kann nicht sicherstellen, dass es nur einmal läuft: die Sperrdatei „" +
                           lockFile().string() + "“ lässt sich nicht sperren (" + std::strerror(EISDIR) +
                           "). Es startet trotzdem.\n";
  EXPECT_EQ(errors.contents(), line + line);
}

}  // namespace
}  // namespace velloran
