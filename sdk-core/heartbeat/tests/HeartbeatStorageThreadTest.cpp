// Storages of one ID made and released on two threads at once. Run under the thread sanitizer, this
// shows the shared cache's lookups, insertions and removals are guarded; in any build, callers that
// hold the ID's storage at the same time must hold the same one.

#include "sdk-core/heartbeat/HeartbeatStorage.h"

#include <gtest/gtest.h>

#include <array>
#include <barrier>
#include <memory>
#include <thread>

#include "sdk-core/heartbeat/tests/HeartbeatTestSupport.h"

namespace beacon {
namespace {

TEST(HeartbeatStorageThreadTest, StoragesHeldAtTheSameTimeAreAlwaysTheSameObject) {
  testing::TemporaryApplication app;
  constexpr int kRounds = 2000;
  std::array<std::shared_ptr<HeartbeatStorage>, 2> held;
  std::barrier<> compare(2), release(2);
  int mismatches = 0;

  // Each round both threads take the ID's storage and hold it until both have one; then both let go,
  // so the last release destroys the storage while the other thread is already asking for the next.
  auto run = [&](std::size_t index) {
    for (int round = 0; round < kRounds; ++round) {
      held[index] = HeartbeatStorage::sharedStorage("1:1:macos:race");
      compare.arrive_and_wait();
      if (index == 0 && held[0] != held[1]) ++mismatches;
      release.arrive_and_wait();
      held[index].reset();
    }
  };
  std::thread other(run, 1);
  run(0);
  other.join();
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace beacon
