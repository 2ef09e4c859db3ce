// The entry of the widget benchmarks: an offscreen application with the application's look and
// without animations, so a frame is painted as soon as it is asked for, and with a runtime folder of
// its own that goes with it (without one Qt makes a shared one in the temporary folder and leaves it
// there).

#include <benchmark/benchmark.h>

#include <QApplication>

#include "Velloran/ui/Animations.h"
#include "Velloran/ui/ApplicationLook.h"
#include "platform/testing/TestEnvironment.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const platform::testing::TemporaryDirectory runtimeRoot;
  platform::testing::ScopedEnvironment environment;
  environment.set("XDG_RUNTIME_DIR", runtimeRoot.path().string());
  QApplication application(argc, argv);
  velloran::applyApplicationLook(application);
  velloran::setAnimationsEnabled(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
