#include "platform/bundle/BundleLocation.h"

#include <gtest/gtest.h>

#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

class BundleLocationTest : public ::testing::Test {
 protected:
  BundleLocationTest() {
    std::filesystem::create_directories(install() / "bin");
    std::filesystem::create_directories(install() / "share" / "velloran");
  }
  std::filesystem::path install() const { return root_.path() / "usr"; }
  std::filesystem::path executable() const { return install() / "bin" / "velloran"; }
  std::filesystem::path buildTree() const { return root_.path() / "build" / "bundle"; }

  testing::TemporaryDirectory root_;
};

TEST_F(BundleLocationTest, TheVariableWinsEvenOverAnInstalledBundle) {
  auto chosen = locateMainBundle({"/opt/bundle/", executable(), buildTree()});
  EXPECT_EQ(chosen, "/opt/bundle");
}

TEST_F(BundleLocationTest, InstalledLayoutBesideTheExecutable) {
  EXPECT_EQ(locateMainBundle({std::nullopt, executable(), buildTree()}), install() / "share" / "velloran");
  EXPECT_EQ(locateMainBundle({"", executable(), buildTree()}), install() / "share" / "velloran");
}

TEST_F(BundleLocationTest, BuildTreeWhenNothingIsInstalled) {
  std::filesystem::remove_all(install() / "share");
  EXPECT_EQ(locateMainBundle({std::nullopt, executable(), buildTree()}), buildTree());
  EXPECT_EQ(locateMainBundle({std::nullopt, std::nullopt, buildTree()}), buildTree());
}

}  // namespace
}  // namespace platform
