// The main() of every widget test program: gtest with one QApplication on Qt's offscreen platform,
// in the application's look, with animations off so every transition ends inside the call that
// starts it. Fails at once when the fixed font cannot be loaded, because every text measurement
// in the tests would then depend on the machine.
//
// The platform main queue is left alone: a test either runs its view models on the deterministic
// dispatch backend, or makes a QtMainQueueDriver for as long as it wants Qt to drain the queue.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "Velloran/ui/Animations.h"
#include "Velloran/ui/ApplicationLook.h"

int main(int argc, char** argv) {
  // Forced rather than defaulted: a widget test must never open a window on someone's desktop.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleMock(&argc, argv);
  QApplication application(argc, argv);
  if (!velloran::applyApplicationLook(application)) {
    std::fprintf(stderr,
                 "widget tests: the DejaVu Sans font files are missing (package fonts-dejavu-core)\n");
    return 1;
  }
  velloran::setAnimationsEnabled(false);
  QApplication::setEffectEnabled(Qt::UI_General, false);
  return RUN_ALL_TESTS();
}
