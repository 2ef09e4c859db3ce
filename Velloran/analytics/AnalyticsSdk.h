#pragma once
// The five calls by which the application reaches the analytics SDK - whether a default SDK app
// exists, configuring it, the collection switch, event logging and the data reset - and, when the
// application quits, the wait for what the SDK has queued and the close of its database. AnalyticsService is
// the only caller. The implementation bound at start-up (AnalyticsSdkBinding.h) forwards to the SDK; tests
// use a recording double (Velloran/analytics/testing).
//
// Every call but the two waits returns at once: the SDK queues its work. Main thread only, like its
// caller.

#include <chrono>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace velloran {

// Parameter values are strings or 64-bit integers.
using AnalyticsParameters = platform::Dictionary;

class AnalyticsSdk {
 public:
  virtual ~AnalyticsSdk() = default;

  // Whether the SDK has a default app (configured by anyone, at any time).
  virtual bool hasDefaultApp() = 0;
  // Creates the default app from the bundle's options file. Returns normally whatever happens;
  // success shows only in hasDefaultApp() afterwards.
  virtual void configure() = 0;
  // Switches collection on or off; the SDK keeps the switch for later process starts.
  virtual void setAnalyticsCollectionEnabled(bool enabled) = 0;
  // Logs an application event. nullopt means "no parameter dictionary at all", which the SDK
  // treats differently from an empty one.
  virtual void logEventWithName(const std::string& name,
                                const std::optional<AnalyticsParameters>& parameters) = 0;
  // Clears the data kept for this installation and continues with a new app instance identifier.
  virtual void resetAnalyticsData() = 0;

  // Waits, at most `bound`, until the SDK has done the work queued before the call, so that what it
  // keeps is stored before the process ends. Answers whether it finished within the bound.
  virtual bool waitForQueuedWork(std::chrono::milliseconds bound) = 0;
  // The same wait, after which the SDK closes its database, so that no journal file stays beside it;
  // what it is asked to store later is kept nowhere. Answers whether both happened within the bound.
  virtual bool closeDatabaseAfterQueuedWork(std::chrono::milliseconds bound) = 0;
};

}  // namespace velloran
