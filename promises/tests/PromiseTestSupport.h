#pragma once
// A deterministic dispatch backend whose serial queue is the promises' default queue, so tests
// decide when callbacks run and how much virtual time passes.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/Queue.h"
#include "promises/CVPPromise.h"

namespace beacon::testing {

class PromiseTest : public ::testing::Test {
 protected:
  PromiseTest() { CVPPromiseClass::setDefaultDispatchQueue(queue); }

  platform::DeterministicDispatch dispatch;
  platform::QueueRef queue = platform::makeSerialQueue("promises.test");

  platform::Error error(std::int64_t code) const { return platform::Error("test.domain", code); }
  double elapsedSeconds() const {
    return std::chrono::duration<double>(dispatch.clock().monotonicNow()).count();
  }
};

}  // namespace beacon::testing
