#pragma once
// At most one running operation of a kind: the first caller starts it through the handler, callers
// that come while it runs get the same promise, and once it settles the next caller starts anew.
// Thread-safe: one lock guards the pending promise. The pending promise's clean-up holds the state
// weakly, so the cache may go while an operation still runs.
//
// The clean-up is a step of its own on the default queue, so for a moment a settled promise can still
// be kept; it counts as over the moment it settles. A caller that saw the outcome and asks again
// (a retry after a refusal, from any thread) therefore starts a new operation instead of getting the
// old outcome back.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/error/Error.h"
#include "promises/CVPPromise.h"

namespace beacon {

template <class T>
class BCNInstallationsSingleOperationPromiseCache {
 public:
  using Handler = std::function<CVPPromise<T>()>;

  explicit BCNInstallationsSingleOperationPromiseCache(Handler newOperationHandler)
      : newOperationHandler_(std::move(newOperationHandler)) {
    if (!newOperationHandler_)
      throw platform::ProgrammerError("InvalidArgumentException", "`newOperationHandler` must not be `nil`.");
  }
  BCNInstallationsSingleOperationPromiseCache(const BCNInstallationsSingleOperationPromiseCache&) = delete;
  BCNInstallationsSingleOperationPromiseCache& operator=(const BCNInstallationsSingleOperationPromiseCache&) =
      delete;

  CVPPromise<T> getExistingPendingOrCreateNewPromise() {
    std::lock_guard guard(state_->mutex);
    if (std::optional<CVPPromise<T>> pending = stillPending()) return *pending;
    CVPPromise<T> promise = newOperationHandler_();
    std::uint64_t operation = ++state_->operationCount;
    state_->pendingPromise = promise;
    // Registered before the callers' own steps, so a caller that reacts to the outcome by asking
    // again already starts a new operation.
    auto clear = [weakState = std::weak_ptr<State>(state_), operation] {
      std::shared_ptr<State> state = weakState.lock();
      if (!state) return;
      std::lock_guard guard(state->mutex);
      if (state->operationCount == operation) state->pendingPromise.reset();
    };
    promise.observeOnQueue(
        CVPPromiseClass::defaultDispatchQueue(), [clear](const T&) { clear(); },
        [clear](const platform::Error&) { clear(); });
    return promise;
  }

  std::optional<CVPPromise<T>> getExistingPendingPromise() {
    std::lock_guard guard(state_->mutex);
    return stillPending();
  }

 private:
  // Under the lock.
  std::optional<CVPPromise<T>> stillPending() const {
    if (state_->pendingPromise && state_->pendingPromise->isPending()) return state_->pendingPromise;
    return std::nullopt;
  }

  struct State {
    std::mutex mutex;
    std::optional<CVPPromise<T>> pendingPromise;
    // Tells the clean-up of a finished operation from that of a newer one.
    std::uint64_t operationCount = 0;
  };

  const Handler newOperationHandler_;
  const std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace beacon
