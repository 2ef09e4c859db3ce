// A write past the file-size limit fails instead of ending the process. Runs in a forked child,
// whose limit and signal disposition do not reach the test runner.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <string>

#include "platform/paths/FileDescriptor.h"
#include "platform/process/FileSizeLimit.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

constexpr int kWriteFailedWithTooLarge = 7;

TEST(FileSizeLimit, AWritePastTheLimitFailsWithTooLargeInsteadOfEndingTheProcess) {
  testing::TemporaryDirectory folder;
  const std::string file = (folder.path() / "big").string();
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ignoreFileSizeLimitSignal();
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(1);
    FileDescriptor fd(openRetrying(file, O_WRONLY | O_CREAT, 0600));
    const std::string data(8192, 'x');
    const bool written = writeAll(fd.get(), data.data(), data.size());
    ::_exit(!written && errno == EFBIG ? kWriteFailedWithTooLarge : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), kWriteFailedWithTooLarge);
}

}  // namespace
}  // namespace platform
