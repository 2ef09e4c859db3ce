// Real threads: two mirrored stores in one process on the threaded backend, with the machine's
// clock, polling quickly; saves on both sides while the mirrors run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "platform/dispatch/MainQueue.h"
#include "platform/mirror/tests/MirrorTestSupport.h"
#include "platform/time/SystemClock.h"

namespace platform {
namespace {

using namespace testing;
using ::testing::ElementsAre;

TEST(MirrorThreads, TwoStoresWritingAtOnceEndUpWithEachOthersNotes) {
  TemporaryDirectory folder;
  std::filesystem::create_directories(folder.path() / "mirror");
  MirrorSettings settings = MirrorSettings::configured(folder.path() / "mirror");
  settings.pollInterval = std::chrono::milliseconds(10);
  settings.exportDelay = std::chrono::milliseconds(1);
  Device a(folder.path() / "a", settings, SystemClock::shared());
  Device b(folder.path() / "b", settings, SystemClock::shared());

  constexpr int kNotes = 10;
  std::thread writer([&] {
    for (int i = 0; i < kNotes; ++i) a.addNote("a" + std::to_string(i), 1);
  });
  for (int i = 0; i < kNotes; ++i) b.addNote("b" + std::to_string(i), 1);
  writer.join();

  const auto complete = [&](Device& device) { return device.titles().size() == 2 * kNotes; };
  ASSERT_TRUE(runUntil([&] { return complete(a) && complete(b); }, std::chrono::seconds(30)))
      << a.titles().size() << " and " << b.titles().size() << " notes";
  EXPECT_EQ(a.titles(), b.titles());
  EXPECT_EQ(a.pages(), b.pages());
  EXPECT_EQ(a.pages().size(), 2u * kNotes);
}

}  // namespace
}  // namespace platform
