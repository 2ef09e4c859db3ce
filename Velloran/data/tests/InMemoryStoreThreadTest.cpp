// The in-memory store under real threads: many callers at once, completions back on the main
// thread, nothing lost. The thread sanitizer build runs this too.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "Velloran/data/InMemoryPromptStore.h"
#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"

namespace velloran::testing {
namespace {

TEST(InMemoryStoreThreadTest, ConcurrentCallersAreServedOneAtATime) {
  constexpr int kThreads = 8;
  constexpr int kPromptsPerThread = 25;
  InMemoryPromptStore store;
  std::atomic<int> completed{0};
  std::atomic<bool> allOnMainThread{true};

  std::vector<std::thread> callers;
  for (int thread = 0; thread < kThreads; ++thread) {
    callers.emplace_back([&, thread] {
      for (int index = 0; index < kPromptsPerThread; ++index) {
        const auto id = static_cast<std::uint8_t>(thread * kPromptsPerThread + index);
        Prompt prompt = makePrompt({.id = id, .updatedAt = double(id)});
        store.savePrompt(std::move(prompt), [&](platform::Result<void> result) {
          if (!result.ok() || !platform::isMainThread()) allOnMainThread = false;
          ++completed;
        });
        // Interleave readers with the writers.
        store.fetchPrompts({}, nullptr);
      }
    });
  }
  for (std::thread& caller : callers) caller.join();

  // The bound only stops a broken build from hanging; a sound store finishes long before it.
  constexpr int kAll = kThreads * kPromptsPerThread;
  ASSERT_TRUE(platform::runUntil([&] { return completed.load() == kAll; }, std::chrono::seconds(30)));
  EXPECT_TRUE(allOnMainThread);

  std::optional<platform::Result<PromptList>> listed;
  store.fetchPrompts({}, [&](platform::Result<PromptList> result) { listed.emplace(std::move(result)); });
  ASSERT_TRUE(platform::runUntil([&] { return listed.has_value(); }, std::chrono::seconds(30)));
  ASSERT_EQ(listed->value().size(), static_cast<std::size_t>(kAll));
  EXPECT_EQ(listed->value().front()->updatedAt, platform::Date{kAll - 1});
}

}  // namespace
}  // namespace velloran::testing
