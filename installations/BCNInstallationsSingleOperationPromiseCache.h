#pragma once
// At most one running operation of a kind: the first caller starts it through the handler, callers
// that come while it runs get the same promise, and once it settles the next caller starts anew.
// Thread-safe: one lock guards the pending promise. The pending promise's clean-up holds the state
// weakly, so the cache may go while an operation still runs.

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
    if (state_->pendingPromise) return *state_->pendingPromise;
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
    return state_->pendingPromise;
  }

 private:
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
