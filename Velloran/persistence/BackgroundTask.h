#pragma once
// Runs work as one background task of a container and waits for its result: the task gets a fresh
// context of its own, and the container runs its tasks one at a time, so the work never interleaves
// with another task's. The context is dropped afterwards, and with it whatever the work left unsaved.
//
// Blocks the calling thread until the task has run; never call it from the container's task queue
// (the task would wait for itself). Under the deterministic dispatch backend the wait runs the queues.

#include <functional>
#include <optional>
#include <utility>

#include "platform/dispatch/Semaphore.h"
#include "platform/error/Result.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentContainer.h"

namespace velloran {

template <class T>
platform::Result<T> performBackgroundTaskAndWait(
    platform::PersistentContainer& container,
    const std::function<platform::Result<T>(platform::ManagedObjectContext&)>& work) {
  std::optional<platform::Result<T>> result;
  platform::Semaphore finished;
  // The references stay valid: this frame waits until the task has signalled.
  container.performBackgroundTask(
      [&work, &result, finished](platform::ManagedObjectContext& context) mutable {
        result.emplace(work(context));
        finished.signal();
      });
  finished.wait();
  return std::move(*result);
}

}  // namespace velloran
