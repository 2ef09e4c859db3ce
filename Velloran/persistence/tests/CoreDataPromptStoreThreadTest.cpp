// The persistent store under real threads: callers on many threads saving the same prompt at once
// never duplicate its versions, because each operation, store work included, ends before the next
// begins. The thread sanitizer build runs this too.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/VelloranModel.h"
#include "platform/dispatch/MainQueue.h"

namespace velloran::testing {
namespace {

// The bound only stops a broken build from hanging; a sound store finishes long before it.
constexpr auto kPatience = std::chrono::seconds(60);

TEST(CoreDataPromptStoreThreadTest, ConcurrentSavesOfOnePromptNeverDuplicateItsVersions) {
  constexpr int kThreads = 6;
  constexpr int kSavesPerThread = 10;
  CoreDataStack stack(true);
  CoreDataPromptStore store(stack.container());

  std::atomic<int> completed{0};
  std::atomic<int> failed{0};
  std::vector<std::thread> callers;
  for (int thread = 0; thread < kThreads; ++thread) {
    callers.emplace_back([&, thread] {
      for (int save = 0; save < kSavesPerThread; ++save) {
        Prompt prompt = makePrompt({.title = "writer " + std::to_string(thread), .updatedAt = double(save)});
        prompt.versions.push_back(PromptVersion{testUUID(static_cast<std::uint8_t>(150 + thread)), prompt.id,
                                                "second", "", 2, platform::Date{1}});
        store.savePrompt(std::move(prompt), [&](platform::Result<void> result) {
          if (!result.ok()) ++failed;
          ++completed;
        });
        // Readers in between, waiting for the main thread's view context.
        store.fetchPrompts({}, nullptr);
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  ASSERT_TRUE(platform::runUntil([&] { return completed.load() == kThreads * kSavesPerThread; }, kPatience));
  EXPECT_EQ(failed.load(), 0);

  std::optional<platform::Result<PromptList>> listed;
  store.fetchPrompts({}, [&](platform::Result<PromptList> result) { listed.emplace(std::move(result)); });
  ASSERT_TRUE(platform::runUntil([&] { return listed.has_value(); }, kPatience));
  ASSERT_TRUE(listed->ok());
  ASSERT_EQ(listed->value().size(), 1u);
  // The first version that every save names, and each writer's own second version: no save took
  // another's version away, and none is stored twice.
  EXPECT_EQ(listed->value()[0]->versions.size(), std::size_t{1 + kThreads});
  auto versions =
      stack.container()->viewContext()->fetch(platform::FetchRequest{std::string(model::kVersionEntity)});
  ASSERT_TRUE(versions.ok());
  EXPECT_EQ(versions->size(), std::size_t{1 + kThreads});
  std::size_t attached = 0;
  for (const platform::ManagedObject& version : *versions) {
    if (version.relatedObject(model::kPrompt)) ++attached;
  }
  EXPECT_EQ(attached, std::size_t{1 + kThreads});
}

}  // namespace
}  // namespace velloran::testing
