#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>

#include "sdk-utilities/tests/TestBundle.h"

namespace beacon {
namespace {

using platform::OperatingSystemVersion;

// The machine's own facts, read here straight from where the kernel and the firmware keep them.
std::string kernelRelease() {
  utsname names{};
  EXPECT_EQ(::uname(&names), 0);
  return names.release;
}

std::string kernelMachine() {
  utsname names{};
  EXPECT_EQ(::uname(&names), 0);
  return names.machine;
}

std::optional<std::string> firmwareModel() {
  for (const char* path : {"/sys/class/dmi/id/product_name", "/sys/firmware/devicetree/base/model"}) {
    std::ifstream file(path);
    std::string line;
    if (!std::getline(file, line, '\n')) continue;
    line = line.substr(0, line.find('\0'));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.erase(0, 1);
    std::replace(line.begin(), line.end(), ' ', '_');
    if (!line.empty()) return line;
  }
  return std::nullopt;
}

TEST(CVUAppEnvironmentUtilTest, SystemVersionShowsThePatchOnlyWhenItIsNotZero) {
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersionFrom(OperatingSystemVersion{14, 0, 0}), "14.0");
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersionFrom(OperatingSystemVersion{14, 2, 1}), "14.2.1");
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersionFrom(OperatingSystemVersion{6, 0, 12}), "6.0.12");

  // "6.1.0-18-amd64" is 6.1; "5.15.153.1-microsoft" is 5.15.153.
  std::smatch parts;
  const std::string release = kernelRelease();
  ASSERT_TRUE(std::regex_search(release, parts, std::regex(R"(^(\d+)\.(\d+)(?:\.(\d+))?)"))) << release;
  std::string expected = parts[1].str() + "." + parts[2].str();
  if (parts[3].matched && std::stoll(parts[3].str()) != 0)
    expected += "." + std::to_string(std::stoll(parts[3].str()));
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersion(), expected) << release;
}

TEST(CVUAppEnvironmentUtilTest, DeviceModelIsTheFirmwaresModelOrTheKernelsMachine) {
  const std::optional<std::string> model = firmwareModel();
  EXPECT_EQ(CVUAppEnvironmentUtil::deviceModel(), model.value_or(kernelMachine()));
  EXPECT_EQ(CVUAppEnvironmentUtil::deviceSimulatorModel(), model);
  EXPECT_EQ(CVUAppEnvironmentUtil::getSysctlEntry("hw.model"), model);
  EXPECT_EQ(CVUAppEnvironmentUtil::getSysctlEntry("kern.nothing"), std::nullopt);
}

TEST(CVUAppEnvironmentUtilTest, AKnownMachineStandsInUntilWithdrawn) {
  const std::string real = CVUAppEnvironmentUtil::deviceModel();
  CVUAppEnvironmentUtil::setMachineForTesting(CVUAppEnvironmentUtil::Machine{"Test_Machine_1,2", {14, 0, 3}});
  EXPECT_EQ(CVUAppEnvironmentUtil::deviceModel(), "Test_Machine_1,2");
  EXPECT_EQ(CVUAppEnvironmentUtil::getSysctlEntry("hw.model"), "Test_Machine_1,2");
  EXPECT_EQ(CVUAppEnvironmentUtil::systemVersion(), "14.0.3");
  CVUAppEnvironmentUtil::setMachineForTesting(std::nullopt);
  EXPECT_EQ(CVUAppEnvironmentUtil::deviceModel(), real);
}

class StoreReceiptTest : public ::testing::Test {
 protected:
  void placeSandboxReceipt() { bundle_.writeFile("StoreReceipt/sandboxReceipt", "receipt bytes"); }
  void setReceiptCheck(platform::Value enabled) {
    bundle_.writeInfo({{"CFBundleIdentifier", testing::kTestBundleIdentifier},
                       {"BeaconAppStoreReceiptURLCheckEnabled", std::move(enabled)}});
  }

  testing::TestBundle bundle_;
};

TEST_F(StoreReceiptTest, ADevelopmentBuildWithoutReceiptIsAStoreBuildOnlyWhenConfiguredSo) {
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  EXPECT_EQ(CVUAppEnvironmentUtil::isFromAppStore(), static_cast<bool>(BEACON_STORE_BUILD));
}

TEST_F(StoreReceiptTest, ASandboxReceiptIsNeverAStoreBuild) {
  placeSandboxReceipt();
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  EXPECT_FALSE(CVUAppEnvironmentUtil::isFromAppStore());
}

TEST_F(StoreReceiptTest, OnlyAFalseNumberSwitchesTheReceiptCheckOff) {
  placeSandboxReceipt();
  setReceiptCheck(false);
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  setReceiptCheck(0);
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  setReceiptCheck(true);
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
  setReceiptCheck("NO");
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppStoreReceiptSandbox());
}

// In the receipt fixture, so the real answer that comes back is known: no receipt, so a store build
// exactly when configured as one.
TEST_F(StoreReceiptTest, TestAnswersStandInUntilWithdrawn) {
  constexpr bool kConfiguredStoreBuild = BEACON_STORE_BUILD;
  CVUAppEnvironmentUtil::setAppExtensionForTesting(true);
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(!kConfiguredStoreBuild);
  EXPECT_TRUE(CVUAppEnvironmentUtil::isAppExtension());
  EXPECT_EQ(CVUAppEnvironmentUtil::isFromAppStore(), !kConfiguredStoreBuild);
  CVUAppEnvironmentUtil::setAppExtensionForTesting(std::nullopt);
  CVUAppEnvironmentUtil::setFromAppStoreForTesting(std::nullopt);
  EXPECT_FALSE(CVUAppEnvironmentUtil::isAppExtension());
  EXPECT_EQ(CVUAppEnvironmentUtil::isFromAppStore(), kConfiguredStoreBuild);
}

}  // namespace
}  // namespace beacon
