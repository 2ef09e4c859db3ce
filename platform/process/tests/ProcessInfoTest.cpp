#include "platform/process/ProcessInfo.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <thread>

#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

using Args = std::vector<std::string>;

TEST(ProcessInfoCommandLine, SplitsAtZeroBytesKeepingEveryArgumentAsGiven) {
  using namespace std::string_literals;
  EXPECT_EQ(ProcessInfo::splitCommandLine("velloran\0-ui-testing\0"s), (Args{"velloran", "-ui-testing"}));
  EXPECT_EQ(ProcessInfo::splitCommandLine("a b\0\0c\0"s), (Args{"a b", "", "c"})) << "empty arguments count";
  EXPECT_EQ(ProcessInfo::splitCommandLine("last-without-terminator"s), (Args{"last-without-terminator"}));
  EXPECT_EQ(ProcessInfo::splitCommandLine(""), Args{});
}

TEST(ProcessInfoCommandLine, TheRealArgumentsStartWithThisProgram) {
  const Args arguments = ProcessInfo::arguments();
  ASSERT_FALSE(arguments.empty());
  const auto executable = ProcessInfo::executablePath();
  ASSERT_TRUE(executable.has_value());
  EXPECT_TRUE(executable->is_absolute());
  EXPECT_EQ(std::filesystem::path(arguments.front()).filename(), executable->filename());
}

TEST(ProcessInfoCommandLine, ATestOverrideReplacesTheArgumentsUntilCleared) {
  const Args real = ProcessInfo::arguments();
  ProcessInfo::setArgumentsForTesting(Args{"velloran", "-BCNDebugEnabled"});
  EXPECT_EQ(ProcessInfo::arguments(), (Args{"velloran", "-BCNDebugEnabled"}));
  ProcessInfo::setArgumentsForTesting(Args{});
  EXPECT_EQ(ProcessInfo::arguments(), Args{}) << "an empty override is still an override";
  ProcessInfo::setArgumentsForTesting(std::nullopt);
  EXPECT_EQ(ProcessInfo::arguments(), real);
}

TEST(ProcessInfoEnvironment, TellsUnsetFromEmpty) {
  testing::ScopedEnvironment environment;
  environment.set("VELLORAN_PROCESS_TEST", std::nullopt);
  EXPECT_EQ(ProcessInfo::environmentValue("VELLORAN_PROCESS_TEST"), std::nullopt);
  environment.set("VELLORAN_PROCESS_TEST", "");
  EXPECT_EQ(ProcessInfo::environmentValue("VELLORAN_PROCESS_TEST"), "");
  environment.set("VELLORAN_PROCESS_TEST", "/tmp/x y");
  EXPECT_EQ(ProcessInfo::environmentValue("VELLORAN_PROCESS_TEST"), "/tmp/x y");
}

TEST(ProcessInfoThreads, OnlyTheThreadTheProgramStartedOnIsMain) {
  // gtest runs test bodies on the program's first thread.
  EXPECT_TRUE(ProcessInfo::isMainThread());
  bool onOtherThread = true;
  std::thread([&] { onOtherThread = ProcessInfo::isMainThread(); }).join();
  EXPECT_FALSE(onOtherThread);
}

TEST(OperatingSystemVersion, ReadsTheLeadingNumbersOfAKernelRelease) {
  using V = OperatingSystemVersion;
  EXPECT_EQ(V::fromKernelRelease("6.1.0-18-amd64"), (V{6, 1, 0}));
  EXPECT_EQ(V::fromKernelRelease("5.15.153.1-microsoft-standard-WSL2"), (V{5, 15, 153}));
  EXPECT_EQ(V::fromKernelRelease("4.19"), (V{4, 19, 0}));
  EXPECT_EQ(V::fromKernelRelease("6.8.0-rc3"), (V{6, 8, 0}));
  EXPECT_EQ(V::fromKernelRelease("6.8rc3"), (V{6, 8, 0}));
  EXPECT_EQ(V::fromKernelRelease("3."), (V{3, 0, 0}));
  EXPECT_EQ(V::fromKernelRelease("6..2"), (V{6, 0, 0}));
  EXPECT_EQ(V::fromKernelRelease("generic"), (V{0, 0, 0}));
  EXPECT_EQ(V::fromKernelRelease(""), (V{0, 0, 0}));
  EXPECT_EQ(V::fromKernelRelease("99999999999999999999999.1"), (V{999999999999999999, 1, 0}));
}

TEST(OperatingSystemVersion, TheRunningSystemReportsItsKernelRelease) {
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  const OperatingSystemVersion version = ProcessInfo::operatingSystemVersion();
  EXPECT_EQ(version, OperatingSystemVersion::fromKernelRelease(names.release));
  EXPECT_GT(version.major, 0) << names.release;
}

}  // namespace
}  // namespace platform
