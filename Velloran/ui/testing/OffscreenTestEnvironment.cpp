// Compiled into every widget test program: before the first test runs, one QApplication on Qt's
// offscreen platform, in the application's look, with animations off so every transition ends
// inside the call that starts it, and with a runtime folder of its own that goes with it (without
// one Qt makes a shared one in the temporary folder and leaves it there). Fails the whole program
// when the fixed font cannot be loaded, because every text measurement in the tests would then
// depend on the machine: as a failure of the set-up naming the packages that install the missing
// files, so no test runs and everything made so far is torn down in order. The font files are
// looked for before the QApplication is made. VELLORAN_TEST_FONT_FOLDER names another folder to
// take them from, for the test of that failure.
//
// The platform main queue is left alone: a test either runs its view models on the deterministic
// dispatch backend, or makes a QtMainQueueDriver for as long as it wants Qt to drain the queue.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/ui/Animations.h"
#include "Velloran/ui/ApplicationLook.h"
#include "platform/testing/TestEnvironment.h"

namespace {

std::filesystem::path fontFolder() {
  const char* chosen = std::getenv("VELLORAN_TEST_FONT_FOLDER");
  return chosen ? std::filesystem::path(chosen) : std::filesystem::path(velloran::kSystemFontFolder);
}

std::string missingFontsReport(const std::filesystem::path& folder,
                               const std::vector<velloran::FontFile>& missing) {
  std::string report = "widget tests: font files of DejaVu Sans are missing in " + folder.string() + ":";
  for (const velloran::FontFile& file : missing)
    report += "\n  " + std::string(file.name) + " (install the package " + std::string(file.package) + ")";
  return report;
}

class OffscreenApplication final : public ::testing::Environment {
 public:
  void SetUp() override {
    // Forced rather than defaulted: a widget test must never open a window on someone's desktop.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    runtimeRoot_ = std::make_unique<platform::testing::TemporaryDirectory>();
    environment_.set("XDG_RUNTIME_DIR", runtimeRoot_->path().string());
    const std::filesystem::path folder = fontFolder();
    if (const std::vector<velloran::FontFile> missing = velloran::missingFontFiles(folder); !missing.empty())
      GTEST_FAIL() << missingFontsReport(folder, missing);
    application_ = std::make_unique<QApplication>(argc_, argv_);
    if (!velloran::applyApplicationLook(*application_, folder))
      GTEST_FAIL() << "widget tests: the font files in " << folder.string() << " could not be loaded";
    velloran::setAnimationsEnabled(false);
    QApplication::setEffectEnabled(Qt::UI_General, false);
  }

  void TearDown() override {
    application_.reset();
    runtimeRoot_.reset();
  }

 private:
  int argc_ = 1;
  char programName_[22] = "velloran-widget-tests";
  char* argv_[2] = {programName_, nullptr};
  std::unique_ptr<platform::testing::TemporaryDirectory> runtimeRoot_;
  platform::testing::ScopedEnvironment environment_;
  std::unique_ptr<QApplication> application_;
};

// gtest owns and deletes the environment.
[[maybe_unused]] auto* const offscreenApplication =
    ::testing::AddGlobalTestEnvironment(new OffscreenApplication);

}  // namespace
