#pragma once
// The execution model of a store: its state is owned by one serial queue, operations run there one
// at a time in call order, and each operation's result is handed to its completion on the main
// queue. Both queues belong to the dispatch backend current when the actor is made.
//
// The state lives as long as an operation still needs it, so an operation already called completes
// even when the store's owner lets go of the store first: every completion is called exactly once.

#include <memory>
#include <string>
#include <utility>

#include "Velloran/data/Completion.h"
#include "platform/dispatch/Queue.h"

namespace velloran {

template <class State>
class StoreActor {
 public:
  explicit StoreActor(std::string label)
      : queue_(platform::makeSerialQueue(std::move(label))),
        mainQueue_(platform::mainQueue()),
        state_(std::make_shared<State>()) {}

  // Runs `operation(State&) -> Result<T>` on the actor's queue, then `completion` with its result
  // on the main queue.
  template <class T, class Operation>
  void perform(Operation operation, Completion<T> completion) {
    queue_->async([state = state_, mainQueue = mainQueue_, operation = std::move(operation),
                   completion = std::move(completion)]() mutable {
      platform::Result<T> result = operation(*state);
      mainQueue->async([result = std::move(result), completion = std::move(completion)]() mutable {
        if (completion) completion(std::move(result));
      });
    });
  }

 private:
  platform::QueueRef queue_;
  platform::QueueRef mainQueue_;
  std::shared_ptr<State> state_;
};

}  // namespace velloran
