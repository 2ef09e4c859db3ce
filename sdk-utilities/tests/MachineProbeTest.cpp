#include "sdk-utilities/environment/MachineProbe.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <fstream>

#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class MachineProbeTest : public ::testing::Test {
 protected:
  void place(const std::string& relative, const std::string& contents) {
    const std::filesystem::path file = root_.path() / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << contents;
  }

  platform::testing::TemporaryDirectory root_;
};

constexpr const char* kDmiProductName = "sys/class/dmi/id/product_name";
constexpr const char* kDeviceTreeModel = "sys/firmware/devicetree/base/model";

TEST_F(MachineProbeTest, PrefersTheDmiProductNameMadeSafeForBlankSeparatedLists) {
  place(kDmiProductName, "Standard PC (Q35 + ICH9, 2009)\n");
  place(kDeviceTreeModel, std::string("Board\0", 6));
  EXPECT_EQ(MachineProbe::hardwareModel(root_.path()), "Standard_PC_(Q35_+_ICH9,_2009)");
}

TEST_F(MachineProbeTest, FallsBackToTheDeviceTreeModelEndedByItsZeroByte) {
  place(kDeviceTreeModel, std::string("Raspberry Pi 4 Model B Rev 1.4\0", 32));
  EXPECT_EQ(MachineProbe::hardwareModel(root_.path()), "Raspberry_Pi_4_Model_B_Rev_1.4");

  // A DMI table that names nothing is no model either.
  place(kDmiProductName, " \t\n");
  EXPECT_EQ(MachineProbe::hardwareModel(root_.path()), "Raspberry_Pi_4_Model_B_Rev_1.4");
}

TEST_F(MachineProbeTest, NoModelWhereTheMachineStatesNone) {
  EXPECT_EQ(MachineProbe::hardwareModel(root_.path()), std::nullopt);
  place(kDmiProductName, "\n");
  EXPECT_EQ(MachineProbe::hardwareModel(root_.path()), std::nullopt);
}

TEST(MachineProbeSafeNameTest, TrimsEndsReplacesInnerBlanksAndDropsControlCharacters) {
  EXPECT_EQ(MachineProbe::safeModelName("  Think\tPad\x01 X1\x7f\r\n"), "Think_Pad_X1");
  EXPECT_EQ(MachineProbe::safeModelName("Modèl  2"), "Modèl__2");
  EXPECT_EQ(MachineProbe::safeModelName(std::string_view("A\0B", 3)), "A");
  EXPECT_EQ(MachineProbe::safeModelName("\x02\x03"), "");
}

TEST(MachineProbeMachineNameTest, IsTheKernelsMachineName) {
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(MachineProbe::machineName(), names.machine);
  EXPECT_FALSE(MachineProbe::machineName().empty());
}

}  // namespace
}  // namespace beacon
