#include "Velloran/ui/testing/Screenshot.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

namespace velloran::testing {
namespace {

QString currentTestName() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  if (test == nullptr) return QStringLiteral("outside-a-test");
  return QString::fromUtf8(test->test_suite_name()) + QLatin1Char('.') + QString::fromUtf8(test->name());
}

// Parameterised tests put "/" into their names.
QString fileNameSafe(QString text) {
  static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
  return text.replace(unsafe, QStringLiteral("_"));
}

}  // namespace

QString screenshotFolder() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
}

QString saveScreenshot(QWidget& widget, const QString& name) {
  if (!widget.isVisible()) {
    widget.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(widget.window())) << "the window never became exposed";
  }
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();

  QString fileName = currentTestName();
  if (!name.isEmpty()) fileName += QLatin1Char('-') + name;
  const QString path =
      screenshotFolder() + QLatin1Char('/') + fileNameSafe(fileName) + QStringLiteral(".png");
  if (!QDir().mkpath(screenshotFolder())) {
    ADD_FAILURE() << "cannot make the screenshot folder " << screenshotFolder().toStdString();
    return path;
  }
  if (!widget.grab().save(path, "PNG")) ADD_FAILURE() << "cannot save the screenshot " << path.toStdString();
  return path;
}

}  // namespace velloran::testing
