// The entry of the widget benchmarks: an offscreen application with the application's look and
// without animations, so a frame is painted as soon as it is asked for.

#include <benchmark/benchmark.h>

#include <QApplication>

#include "Velloran/ui/Animations.h"
#include "Velloran/ui/ApplicationLook.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  velloran::applyApplicationLook(application);
  velloran::setAnimationsEnabled(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
