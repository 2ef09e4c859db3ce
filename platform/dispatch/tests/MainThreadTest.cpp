// Which thread is the main one, as the dispatch layer tells it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/dispatch/Queue.h"

namespace platform {
namespace {

TEST(MainThreadTest, OnlyTheMainThreadIsItEvenInAChildForkedByAnotherThread) {
  ASSERT_TRUE(isMainThread());
  int childStatus = -1;
  std::thread other([&] {
    EXPECT_FALSE(isMainThread());  // known to this thread from now on
    const pid_t child = fork();
    if (child == 0) _exit(isMainThread() ? 0 : 1);  // the child's one thread is its main thread
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, &childStatus, 0), child);
    EXPECT_FALSE(isMainThread());
  });
  other.join();
  ASSERT_TRUE(WIFEXITED(childStatus));
  EXPECT_EQ(WEXITSTATUS(childStatus), 0);
  EXPECT_TRUE(isMainThread());
}

}  // namespace
}  // namespace platform
