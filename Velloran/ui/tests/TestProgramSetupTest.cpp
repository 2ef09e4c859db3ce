// What every widget test program can rely on once velloran_ui_testing's environment is set up.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QFileInfo>
#include <QFontInfo>
#include <QImage>
#include <QPalette>
#include <QPropertyAnimation>
#include <QStandardPaths>
#include <QStyle>
#include <QWidget>

#include <filesystem>
#include <string>

#include "Velloran/ui/Animations.h"
#include "Velloran/ui/ApplicationLook.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "platform/testing/TestEnvironment.h"

extern char** environ;

namespace velloran {
namespace {

using ::testing::HasSubstr;

struct ProgramRun {
  int status = -1;
  std::string output;
};

// This test program once more, running one test with the font files taken from `fontFolder`.
ProgramRun runThisProgramWithFontsFrom(const std::filesystem::path& fontFolder,
                                       const std::filesystem::path& outputFile) {
  platform::testing::ScopedEnvironment environment;
  environment.set("VELLORAN_TEST_FONT_FOLDER", fontFolder.string());
  std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=TestProgramSetupTest.RunsOffscreenInTheApplicationsLook";
  char* arguments[] = {program.data(), filter.data(), nullptr};
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
  ProgramRun run;
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), &files, nullptr, arguments, environ) == 0)
    ::waitpid(child, &run.status, 0);
  posix_spawn_file_actions_destroy(&files);
  run.output = platform::testing::fileContents(outputFile);
  return run;
}

TEST(TestProgramSetupTest, RunsOffscreenInTheApplicationsLook) {
  EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  EXPECT_EQ(QApplication::style()->name(), QStringLiteral("fusion"));
  EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(0xEC, 0xEC, 0xEC));
}

TEST(TestProgramSetupTest, TheToolkitsRuntimeFolderIsAPrivateOneOfTheProgram) {
  // Left to itself Qt makes one shared folder in the temporary folder and never removes it.
  const std::filesystem::path runtime =
      QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString();
  EXPECT_EQ(runtime.parent_path(), std::filesystem::temp_directory_path());
  EXPECT_EQ(runtime.filename().string().rfind("velloran-test-", 0), 0u) << runtime;
  EXPECT_EQ(std::filesystem::status(runtime).permissions(), std::filesystem::perms::owner_all);
}

TEST(TestProgramSetupTest, TextUsesTheFixedFontItself) {
  const QFont font = QApplication::font();
  EXPECT_EQ(font.pixelSize(), kBodyFontPixelSize);
  // QFontInfo tells what was actually matched, so a silent fallback to another family shows.
  EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
  QFont bold = font;
  bold.setBold(true);
  EXPECT_EQ(QFontInfo(bold).family(), QStringLiteral("DejaVu Sans"));
  EXPECT_TRUE(QFontInfo(bold).bold());
}

TEST(TestProgramSetupTest, WithoutTheSlantedFacesNoTestRunsAndTheirPackageIsNamed) {
  platform::testing::TemporaryDirectory folder;
  const std::filesystem::path fonts = folder.path() / "fonts";
  std::filesystem::create_directory(fonts);
  for (const char* upright : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"})
    std::filesystem::copy_file(std::filesystem::path(kSystemFontFolder) / upright, fonts / upright);

  const ProgramRun run = runThisProgramWithFontsFrom(fonts, folder.path() / "output.txt");

  // Ended by its own failure, not by a crash while the toolkit was half set up.
  ASSERT_TRUE(WIFEXITED(run.status)) << run.output;
  EXPECT_EQ(WEXITSTATUS(run.status), 1);
  EXPECT_THAT(run.output, HasSubstr("DejaVuSans-Oblique.ttf (install the package fonts-dejavu-extra)"));
  EXPECT_THAT(run.output, HasSubstr("DejaVuSans-BoldOblique.ttf (install the package fonts-dejavu-extra)"));
  EXPECT_THAT(run.output, ::testing::Not(HasSubstr("fonts-dejavu-core")));
  EXPECT_THAT(run.output, ::testing::Not(HasSubstr("[       OK ]")));
}

TEST(TestProgramSetupTest, AnimationsEndInsideTheCallThatStartsThem) {
  EXPECT_FALSE(animationsEnabled());
  EXPECT_FALSE(QApplication::isEffectEnabled(Qt::UI_AnimateMenu));

  QWidget widget;
  widget.setGeometry(0, 0, 10, 10);
  QPropertyAnimation slide(&widget, "pos");
  slide.setDuration(animationDuration(250));
  slide.setEndValue(QPoint(40, 30));
  slide.start();

  EXPECT_EQ(slide.state(), QAbstractAnimation::Stopped);
  EXPECT_EQ(widget.pos(), QPoint(40, 30));
}

TEST(TestProgramSetupTest, ScreenshotsLandBesideTheTestProgramNamedAfterTheTest) {
  QWidget widget;
  widget.resize(30, 20);
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, QColor(200, 10, 20));
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);

  const QString path = testing::saveScreenshot(widget, QStringLiteral("probe/1"));

  EXPECT_EQ(
      path,
      testing::screenshotFolder() +
          QStringLiteral(
              "/TestProgramSetupTest.ScreenshotsLandBesideTheTestProgramNamedAfterTheTest-probe_1.png"));
  EXPECT_EQ(QFileInfo(path).absolutePath(),
            QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots"));
  const QImage saved(path);
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), QSize(30, 20));
  EXPECT_EQ(saved.pixelColor(15, 10), QColor(200, 10, 20));
}

}  // namespace
}  // namespace velloran
