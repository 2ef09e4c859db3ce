// Real threads: background tasks on the container's task queue, the view context from the main
// thread, and saves from several contexts at once.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch/Group.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform {
namespace {

using namespace testing;

class PstoreContainer : public ::testing::Test {
 protected:
  TemporaryDirectory folder;
  Notebook notebook{fileStore(folder.path() / "Notebook.sqlite")};
};

TEST_F(PstoreContainer, BackgroundTasksGetAFreshContextEachAndRunOneAtATime) {
  constexpr int kTasks = 20;
  Group group;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::vector<ManagedObjectContext*> contexts(kTasks);
  for (int i = 0; i < kTasks; ++i) {
    group.enter();
    // The group is captured by value: the task may still be inside leave() when wait() returns.
    notebook.container.performBackgroundTask([&, group, i](ManagedObjectContext& context) mutable {
      if (running.fetch_add(1) != 0) overlapped = true;
      contexts[i] = &context;
      EXPECT_FALSE(context.transactionAuthor());
      context.setTransactionAuthor("Task");
      // Read, then write what was read plus one: lost updates would show if tasks overlapped.
      std::vector<ManagedObject> counters = fetchAll(context, "Page");
      ManagedObject counter = counters.empty() ? context.insertNewObject("Page") : counters[0];
      counter.setValue("number", counter.value("number").as<std::int64_t>().value_or(0) + 1);
      EXPECT_TRUE(context.save().ok());
      running.fetch_sub(1);
      group.leave();
    });
  }
  group.wait();
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(fetchAll(notebook.view(), "Page").at(0).value("number").as<std::int64_t>(), kTasks + 1);
  for (const HistoryTransaction& transaction : valueOrFail(notebook.view().fetchHistory(std::nullopt))) {
    EXPECT_EQ(transaction.author, "Task");
  }
}

TEST_F(PstoreContainer, ViewContextRunsInlineOnTheMainThreadAndBackgroundContextsOnTheirQueue) {
  bool ranInline = false;
  notebook.view().performAndWait([&] { ranInline = true; });
  EXPECT_TRUE(ranInline);

  auto background = notebook.background();
  bool onQueue = false;
  background->performAndWait([&] { onQueue = background->queue()->isCurrent(); });
  EXPECT_TRUE(onQueue);

  Semaphore done;
  background->perform([&, done]() mutable {
    background->insertNewObject("Note");
    EXPECT_TRUE(background->save().ok());
    done.signal();
  });
  done.wait();
  EXPECT_EQ(fetchAll(notebook.view(), "Note").size(), 1u);
}

TEST_F(PstoreContainer, ConcurrentWritersAndAMergingReaderLoseNothing) {
  constexpr int kWriters = 4;
  constexpr int kNotesEach = 25;
  notebook.view().setAutomaticallyMergesChangesFromParent(true);
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&] {
      auto context = notebook.background();
      for (int i = 0; i < kNotesEach; ++i) {
        ManagedObject note = context->insertNewObject("Note");
        note.setValue("title", std::to_string(i));
        EXPECT_TRUE(context->save().ok());
      }
    });
  }
  std::thread reader([&] {
    for (int i = 0; i < 50; ++i) {
      for (const ManagedObject& note : fetchAll(notebook.view(), "Note")) (void)note.value("title");
    }
  });
  for (std::thread& writer : writers) writer.join();
  reader.join();
  EXPECT_EQ(fetchAll(notebook.view(), "Note").size(), static_cast<std::size_t>(kWriters * kNotesEach));
  EXPECT_EQ(valueOrFail(notebook.view().fetchHistory(std::nullopt)).size(),
            static_cast<std::size_t>(kWriters * kNotesEach));
}

}  // namespace
}  // namespace platform
