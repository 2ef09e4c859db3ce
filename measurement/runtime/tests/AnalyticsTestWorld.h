#pragma once
// A fresh analytics world for one test: a deterministic dispatch backend over a manual clock, and an
// AnalyticsContext over that clock, its own class directory and notification centre, installed as
// the current one for the test's duration.

#include <memory>

#include "measurement/runtime/AnalyticsContext.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/time/ManualClock.h"

namespace beacon::testing {

class AnalyticsTestWorld {
 public:
  AnalyticsTestWorld() = default;

  platform::DeterministicDispatch& dispatch() { return dispatch_; }
  platform::ManualClock& clock() { return *clock_; }
  platform::ClassDirectory& classes() { return classes_; }
  platform::NotificationCenter& notifications() { return notifications_; }
  AnalyticsContext& context() { return scope_.context(); }

 private:
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::DeterministicDispatch dispatch_{clock_};
  platform::ClassDirectory classes_;
  platform::NotificationCenter notifications_;
  AnalyticsContext::Scope scope_{std::make_shared<AnalyticsContext>(
      AnalyticsContext::Services{clock_, &classes_, &notifications_, nullptr})};
};

}  // namespace beacon::testing
