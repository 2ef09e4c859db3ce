#pragma once
// A reachability table for tests: counts its calls, refuses what the test tells it to, and lets the
// test push flags through the callback the checker installed.

#include <cstdint>

#include "platform/reach/Reachability.h"

namespace beacon::testing {

struct FakeReachability {
  int creates = 0;
  int schedules = 0;
  int unschedules = 0;
  int releases = 0;
  bool refuseSchedule = false;
  platform::ReachabilityCallback callback = nullptr;
  void* info = nullptr;

  // The one fake of the process (the table holds plain functions).
  static FakeReachability& instance() {
    static FakeReachability fake;
    return fake;
  }
  static const platform::ReachabilityApi& api() {
    static const platform::ReachabilityApi table{
        [](const char*) -> platform::ReachabilityHandle {
          ++instance().creates;
          return &instance();
        },
        [](platform::ReachabilityHandle, platform::ReachabilityCallback callback, void* info) {
          instance().callback = callback;
          instance().info = info;
          return true;
        },
        [](platform::ReachabilityHandle, const platform::QueueRef&) {
          ++instance().schedules;
          return !instance().refuseSchedule;
        },
        [](platform::ReachabilityHandle, const platform::QueueRef&) {
          ++instance().unschedules;
          return true;
        },
        [](platform::ReachabilityHandle) { ++instance().releases; }};
    return table;
  }
  void push(std::uint32_t flags) { callback(this, flags, info); }
};

}  // namespace beacon::testing
