#pragma once
// Host reachability, as a table of five functions so that callers can swap in another table (tests).
//
// A handle watches one host name. After it is given a callback and scheduled on a queue, the
// callback runs on that queue with the host's flags: once soon after scheduling, then whenever they
// change. Once unschedule or release has returned, no callback of the handle starts any more (one
// already queued is dropped) and none is still running: unschedule waits for a callback running on
// another thread to return (one that calls unschedule itself is not waited for). So the callback's
// info may be destroyed right after, from any thread.
//
// The default table answers "reachable" when the system has a route to one of the host's addresses
// (a connected UDP socket shows it; no packet is sent) and otherwise 0; it checks again every few
// seconds on a thread of the handle's own. Creating a handle does no name lookup, so it succeeds for
// any non-empty host.

#include <cstdint>

#include "platform/dispatch/Queue.h"

namespace platform {

// The flag bits a reachability table reports.
inline constexpr std::uint32_t kReachabilityFlagReachable = 1u << 1;
inline constexpr std::uint32_t kReachabilityFlagConnectionRequired = 1u << 2;
inline constexpr std::uint32_t kReachabilityFlagConnectionOnTraffic = 1u << 3;
inline constexpr std::uint32_t kReachabilityFlagInterventionRequired = 1u << 4;
inline constexpr std::uint32_t kReachabilityFlagConnectionOnDemand = 1u << 5;

using ReachabilityHandle = void*;
using ReachabilityCallback = void (*)(ReachabilityHandle handle, std::uint32_t flags, void* info);

struct ReachabilityApi {
  // nullptr when no handle can be made.
  ReachabilityHandle (*create)(const char* host);
  bool (*setCallback)(ReachabilityHandle handle, ReachabilityCallback callback, void* info);
  bool (*schedule)(ReachabilityHandle handle, const QueueRef& queue);
  bool (*unschedule)(ReachabilityHandle handle, const QueueRef& queue);
  void (*release)(ReachabilityHandle handle);
};

const ReachabilityApi& defaultReachabilityApi();

// The default table's verdict for `host` right now: kReachabilityFlagReachable or 0. Blocks for the
// name lookup.
std::uint32_t currentReachabilityFlags(const char* host);

}  // namespace platform
