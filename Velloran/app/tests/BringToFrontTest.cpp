#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include "Velloran/app/AppInstance.h"

namespace velloran {
namespace {

TEST(BringToFrontTest, AHiddenMinimisedWindowBehindAnotherComesBackShownAndActive) {
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QWidget window;
  window.setWindowState(Qt::WindowMinimized);

  bringToFront(window);

  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized());
  EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::activeWindow(), &window);
}

}  // namespace
}  // namespace velloran
