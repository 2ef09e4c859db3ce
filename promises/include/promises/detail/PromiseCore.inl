#pragma once
// Definitions of CVPPromise's core: state, resolution, observation and chaining. Included by
// CVPPromise.h only.

#include <cstdio>

namespace beacon {

template <class T>
struct CVPPromise<T>::State {
  enum class Kind { Pending, Fulfilled, Rejected };
  struct Observer {
    platform::QueueRef queue;
    FulfillBlock onFulfill;
    RejectBlock onReject;
  };

  State(Kind kind, bool inDispatchGroup) : kind(kind), inDispatchGroup(inDispatchGroup) {}
  ~State() {
    if (inDispatchGroup) dispatchGroup().leave();
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  std::mutex mutex;
  Kind kind;
  // True while pending and counted in the dispatch group.
  bool inDispatchGroup;
  std::vector<std::shared_ptr<const void>> pendingObjects;
  std::optional<T> value;
  std::optional<platform::Error> error;
  std::vector<Observer> observers;
};

template <class T>
CVPPromise<T> CVPPromise<T>::pendingPromise() {
  dispatchGroup().enter();
  return CVPPromise(std::make_shared<State>(State::Kind::Pending, true));
}

template <class T>
CVPPromise<T> CVPPromise<T>::resolvedWith(CVPOutcome<T> outcome) {
  if (const T* value = outcome.value()) {
    auto state = std::make_shared<State>(State::Kind::Fulfilled, false);
    state->value = *value;
    return CVPPromise(std::move(state));
  }
  if (const platform::Error* error = outcome.error()) {
    auto state = std::make_shared<State>(State::Kind::Rejected, false);
    state->error = *error;
    return CVPPromise(std::move(state));
  }
  auto promise = pendingPromise();
  promise.resolve(std::move(outcome));
  return promise;
}

template <class T>
bool CVPPromise<T>::settle(std::optional<T> value, std::optional<platform::Error> error) const {
  std::vector<typename State::Observer> observers;
  std::vector<std::shared_ptr<const void>> pendingObjects;
  bool leaveGroup = false;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->kind != State::Kind::Pending) return false;
    state_->kind = value ? State::Kind::Fulfilled : State::Kind::Rejected;
    state_->value = std::move(value);
    state_->error = std::move(error);
    observers.swap(state_->observers);
    pendingObjects.swap(state_->pendingObjects);
    // Submitted under the lock so that callbacks keep their registration order across threads.
    for (auto& observer : observers) {
      if (state_->value) {
        dispatchGroup().async(observer.queue, [block = std::move(observer.onFulfill),
                                               value = *state_->value] { block(value); });
      } else {
        dispatchGroup().async(
            observer.queue, [block = std::move(observer.onReject), error = *state_->error] { block(error); });
      }
    }
    leaveGroup = state_->inDispatchGroup;
    state_->inDispatchGroup = false;
  }
  if (leaveGroup) dispatchGroup().leave();
  return true;
}

template <class T>
void CVPPromise<T>::fulfill(T value) const {
  settle(std::move(value), std::nullopt);
}

template <class T>
void CVPPromise<T>::reject(platform::Error error) const {
  settle(std::nullopt, std::move(error));
}

template <class T>
void CVPPromise<T>::resolve(CVPOutcome<T> outcome, const platform::QueueRef& queue) const {
  if (const T* value = outcome.value()) {
    fulfill(*value);
  } else if (const platform::Error* error = outcome.error()) {
    reject(*error);
  } else {
    const CVPPromise self = *this;
    outcome.promise()->observeOnQueue(
        queue, [self](const T& value) { self.fulfill(value); },
        [self](const platform::Error& error) { self.reject(error); });
  }
}

template <class T>
bool CVPPromise<T>::isPending() const {
  std::lock_guard lock(state_->mutex);
  return state_->kind == State::Kind::Pending;
}

template <class T>
bool CVPPromise<T>::isFulfilled() const {
  std::lock_guard lock(state_->mutex);
  return state_->kind == State::Kind::Fulfilled;
}

template <class T>
bool CVPPromise<T>::isRejected() const {
  std::lock_guard lock(state_->mutex);
  return state_->kind == State::Kind::Rejected;
}

template <class T>
std::optional<T> CVPPromise<T>::value() const {
  std::lock_guard lock(state_->mutex);
  return state_->value;
}

template <class T>
std::optional<platform::Error> CVPPromise<T>::error() const {
  std::lock_guard lock(state_->mutex);
  return state_->error;
}

template <class T>
void CVPPromise<T>::addPendingObject(std::shared_ptr<const void> object) const {
  requireArgument(object != nullptr, "object");
  std::lock_guard lock(state_->mutex);
  if (state_->kind == State::Kind::Pending) state_->pendingObjects.push_back(std::move(object));
}

template <class T>
void CVPPromise<T>::observeOnQueue(const platform::QueueRef& queue, FulfillBlock onFulfill,
                                   RejectBlock onReject) const {
  requireArgument(queue != nullptr, "queue");
  requireArgument(static_cast<bool>(onFulfill), "onFulfill");
  requireArgument(static_cast<bool>(onReject), "onReject");
  std::lock_guard lock(state_->mutex);
  switch (state_->kind) {
    case State::Kind::Pending:
      state_->observers.push_back({queue, std::move(onFulfill), std::move(onReject)});
      break;
    case State::Kind::Fulfilled:
      dispatchGroup().async(queue, [block = std::move(onFulfill), value = *state_->value] { block(value); });
      break;
    case State::Kind::Rejected:
      dispatchGroup().async(queue, [block = std::move(onReject), error = *state_->error] { block(error); });
      break;
  }
}

template <class T>
template <class U>
CVPPromise<U> CVPPromise<T>::chainOnQueue(
    const platform::QueueRef& queue, std::function<CVPOutcome<U>(const T&)> onFulfill,
    std::function<CVPOutcome<U>(const platform::Error&)> onReject) const {
  requireArgument(queue != nullptr, "queue");
  auto chained = CVPPromise<U>::pendingPromise();
  observeOnQueue(
      queue,
      [chained, queue, onFulfill = std::move(onFulfill)](const T& value) {
        if (onFulfill) {
          chained.resolve(onFulfill(value), queue);
        } else if constexpr (std::is_convertible_v<const T&, U>) {
          chained.fulfill(U(value));
        } else {
          throw platform::ProgrammerError("NSInternalInconsistencyException",
                                          "A chained promise of another value type needs a fulfil block");
        }
      },
      [chained, queue, onReject = std::move(onReject)](const platform::Error& error) {
        if (onReject) {
          chained.resolve(onReject(error), queue);
        } else {
          chained.reject(error);
        }
      });
  return chained;
}

template <class T>
std::string CVPPromise<T>::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(state_.get()));
  const std::string prefix = std::string("<CVPPromise ") + address + "> ";
  std::lock_guard lock(state_->mutex);
  switch (state_->kind) {
    case State::Kind::Fulfilled:
      return prefix + "Fulfilled: " + detail::describeValue(*state_->value);
    case State::Kind::Rejected:
      return prefix + "Rejected: " + detail::describeError(*state_->error);
    case State::Kind::Pending:
      break;
  }
  return prefix + "Pending";
}

}  // namespace beacon
