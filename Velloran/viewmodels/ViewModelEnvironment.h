#pragma once
// What the view models take from outside besides their repository and sync service, so tests can
// hand in a manual clock, a deterministic main queue, a console they read back and an analytics
// service over a recording SDK.
//
// Ownership: the clock and the main queue are shared; the random source, the console and the
// analytics service are referred to and must outlive every view model made with the environment
// (the application's are process-wide).

#include <iosfwd>
#include <memory>

#include "Velloran/analytics/AnalyticsService.h"
#include "platform/dispatch/Queue.h"
#include "platform/identity/RandomSource.h"
#include "platform/time/Clock.h"

namespace velloran {

struct ViewModelEnvironment {
  // "Now" of new prompts and versions.
  std::shared_ptr<const platform::Clock> clock;
  // Ids of new prompts and versions.
  platform::RandomSource& random;
  // Where failures that do not reach the user are written, one line each.
  std::ostream& console;
  // Where "prompt_create" and "prompt_copy" go.
  AnalyticsService& analytics;
  // The main queue of the current dispatch backend: delayed blocks (the banner timer) and the hops
  // of event reactions run there.
  platform::QueueRef mainQueue;

  // The machine's clock and random source, standard output, AnalyticsService::shared() and the
  // process's main queue. Main thread only.
  static ViewModelEnvironment application();
};

}  // namespace velloran
