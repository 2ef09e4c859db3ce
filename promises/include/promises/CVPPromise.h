#pragma once
// CVPPromise<T>: the promise type of the SDK's asynchronous code.
//
// A promise starts pending and is resolved exactly once: fulfilled with a value of type T, or
// rejected with a platform::Error. The first resolution wins; later ones change nothing. "Fulfilled
// with nothing" is CVPPromise<CVPUnit>; "a value or nothing" is CVPPromise<std::optional<X>>.
//
// Callbacks never run inline: each runs asynchronously on the queue the caller names, or on the
// class-wide default queue (the main queue until replaced). Callbacks registered on one promise are
// submitted in registration order.
//
// A promise is a cheap handle: copies share one state, which lives while a handle, a pending
// callback or an observed promise refers to it. Resolution may come from any thread.
//
// Work blocks given to the operators may return a plain value (fulfils), a CVPPromise<U> (the new
// promise follows its outcome), a CVPOutcome<U> (value, error or promise) or nothing (fulfils a
// CVPPromise<CVPUnit>).
//
// One process-wide dispatch group counts pending promises and submitted callbacks: waiting on
// dispatchGroup() waits until every promise has settled and every callback has run.
//
// A missing required argument (null queue, empty block) throws platform::ProgrammerError with
// "Invalid parameter not satisfying: <name>".

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/dispatch/Group.h"
#include "platform/dispatch/Queue.h"
#include "platform/error/Error.h"
#include "promises/CVPPromiseError.h"
#include "promises/detail/Describe.h"

namespace beacon {

// The value of a promise that is fulfilled with nothing.
struct CVPUnit {
  friend bool operator==(CVPUnit, CVPUnit) { return true; }
};

template <class T>
class CVPPromise;

// What settles a promise: a value fulfils it, an error rejects it, a promise makes it follow that
// promise's outcome.
template <class T>
class CVPOutcome {
 public:
  CVPOutcome(platform::Error error) : state_(std::in_place_index<1>, std::move(error)) {}
  CVPOutcome(CVPPromise<T> promise) : state_(std::in_place_index<2>, std::move(promise)) {}
  template <class V>
  requires std::is_constructible_v<T, V&&> &&(!std::is_same_v<std::decay_t<V>, platform::Error>)&&(
      !std::is_same_v<std::decay_t<V>, CVPPromise<T>>)&&(!std::is_same_v<std::decay_t<V>, CVPOutcome<T>>)
      CVPOutcome(V&& value)
      : state_(std::in_place_index<0>, std::forward<V>(value)) {}

  const T* value() const { return std::get_if<0>(&state_); }
  const platform::Error* error() const { return std::get_if<1>(&state_); }
  const CVPPromise<T>* promise() const { return std::get_if<2>(&state_); }

 private:
  std::variant<T, platform::Error, CVPPromise<T>> state_;
};

// Class-wide state shared by promises of every value type.
class CVPPromiseClass {
 public:
  // The queue of callbacks registered without one: the main queue until replaced.
  static platform::QueueRef defaultDispatchQueue();
  // Replaces the default queue; a null queue is a programmer error.
  static void setDefaultDispatchQueue(platform::QueueRef queue);
  // The process-wide group of pending promises and submitted callbacks. Made on first use, with the
  // dispatch backend in place then.
  static platform::Group dispatchGroup();

  // Throws the programmer error for a missing required argument called `name`.
  static void requireArgument(bool present, const char* name);
};

namespace detail {
template <class R>
struct OutcomeValue {
  using Type = R;
};
template <>
struct OutcomeValue<void> {
  using Type = CVPUnit;
};
template <class U>
struct OutcomeValue<CVPPromise<U>> {
  using Type = U;
};
template <class U>
struct OutcomeValue<CVPOutcome<U>> {
  using Type = U;
};
// The value type of the promise that a work block's result settles.
template <class F, class... Args>
using WorkValue = typename OutcomeValue<std::decay_t<std::invoke_result_t<F&, Args...>>>::Type;

// Runs `work` and turns what it returned into an outcome (nothing returned fulfils with CVPUnit).
template <class U, class F, class... Args>
CVPOutcome<U> runWork(F& work, Args&&... args) {
  if constexpr (std::is_void_v<std::invoke_result_t<F&, Args...>>) {
    std::invoke(work, std::forward<Args>(args)...);
    return CVPOutcome<U>(CVPUnit{});
  } else {
    return CVPOutcome<U>(std::invoke(work, std::forward<Args>(args)...));
  }
}
}  // namespace detail

template <class T>
class CVPPromise : public CVPPromiseClass {
 public:
  using Value = T;
  using FulfillBlock = std::function<void(const T&)>;
  using RejectBlock = std::function<void(const platform::Error&)>;

  // ---- Core ----

  // A new pending promise; it is a member of the dispatch group until it settles or is destroyed.
  static CVPPromise pendingPromise();
  // A promise fulfilled with `value` (rejected when the outcome is an error; following the promise
  // when it is one). Not a member of the dispatch group.
  static CVPPromise resolvedWith(CVPOutcome<T> outcome);

  void fulfill(T value) const;
  void reject(platform::Error error) const;
  // Settles with an outcome; a promise outcome is followed, its callbacks running on `queue`.
  void resolve(CVPOutcome<T> outcome, const platform::QueueRef& queue = defaultDispatchQueue()) const;

  bool isPending() const;
  bool isFulfilled() const;
  bool isRejected() const;
  std::optional<T> value() const;
  std::optional<platform::Error> error() const;

  // Keeps `object` alive until the promise settles; ignored once settled. Null is a programmer error.
  void addPendingObject(std::shared_ptr<const void> object) const;

  // Runs `onFulfill` or `onReject` asynchronously on `queue` once the promise has settled (soon, when
  // it already has).
  void observeOnQueue(const platform::QueueRef& queue, FulfillBlock onFulfill, RejectBlock onReject) const;

  // A new pending promise settled by `onFulfill`'s or `onReject`'s outcome, each run on `queue`. An
  // empty block passes the value (which must convert to U) or the error on unchanged.
  template <class U>
  CVPPromise<U> chainOnQueue(const platform::QueueRef& queue,
                             std::function<CVPOutcome<U>(const T&)> onFulfill,
                             std::function<CVPOutcome<U>(const platform::Error&)> onReject) const;

  // "<CVPPromise 0x…> Fulfilled: value", "<CVPPromise 0x…> Rejected: error" or "<CVPPromise 0x…> Pending".
  std::string description() const;

  // ---- Operators: each has a default-queue form and a form taking the queue first. ----

  // On fulfilment: the work's result (work takes the value). A rejection passes through.
  template <class F>
  auto then(const platform::QueueRef& queue, F work) const -> CVPPromise<detail::WorkValue<F, const T&>>;
  template <class F>
  auto then(F work) const {
    return then(defaultDispatchQueue(), std::move(work));
  }

  // On rejection: calls `onReject`, then stays rejected with the same error. Fulfilment passes through.
  CVPPromise catchError(const platform::QueueRef& queue, RejectBlock onReject) const;
  CVPPromise catchError(RejectBlock onReject) const {
    return catchError(defaultDispatchQueue(), std::move(onReject));
  }

  // On rejection: the recovery's result (recovery takes the error). Fulfilment passes through.
  template <class F>
  CVPPromise recover(const platform::QueueRef& queue, F recovery) const;
  template <class F>
  CVPPromise recover(F recovery) const {
    return recover(defaultDispatchQueue(), std::move(recovery));
  }

  // On either outcome: calls `work`, then settles exactly as this promise.
  CVPPromise always(const platform::QueueRef& queue, std::function<void()> work) const;
  CVPPromise always(std::function<void()> work) const {
    return always(defaultDispatchQueue(), std::move(work));
  }

  // On fulfilment: the value when `predicate` answers true, else rejected with
  // kCVPPromiseErrorCodeValidationFailure. A rejection passes through.
  CVPPromise validate(const platform::QueueRef& queue, std::function<bool(const T&)> predicate) const;
  CVPPromise validate(std::function<bool(const T&)> predicate) const {
    return validate(defaultDispatchQueue(), std::move(predicate));
  }

  // Fulfilled with the value `seconds` after fulfilment; a rejection passes through at once.
  CVPPromise delay(const platform::QueueRef& queue, double seconds) const;
  CVPPromise delay(double seconds) const { return delay(defaultDispatchQueue(), seconds); }

  // Follows this promise; rejected with kCVPPromiseErrorCodeTimedOut when still pending after
  // `seconds`. The timer holds the new promise weakly.
  CVPPromise timeout(const platform::QueueRef& queue, double seconds) const;
  CVPPromise timeout(double seconds) const { return timeout(defaultDispatchQueue(), seconds); }

  // Chains once per item, in order: each link's value is combine(previous value, item). An empty
  // list gives this promise itself.
  template <class Item, class F>
  CVPPromise reduce(const platform::QueueRef& queue, std::vector<Item> items, F combine) const;
  template <class Item, class F>
  CVPPromise reduce(std::vector<Item> items, F combine) const {
    return reduce(defaultDispatchQueue(), std::move(items), std::move(combine));
  }

  // The work runs on the queue with a fulfil block (value, error or promise) and a reject block.
  using AsyncWork = std::function<void(std::function<void(CVPOutcome<T>)>, RejectBlock)>;
  static CVPPromise async(const platform::QueueRef& queue, AsyncWork work);
  static CVPPromise async(AsyncWork work) { return async(defaultDispatchQueue(), std::move(work)); }

  // The work runs on the queue; its result settles the promise.
  template <class F>
  static CVPPromise doWork(const platform::QueueRef& queue, F work);
  template <class F>
  static CVPPromise doWork(F work) {
    return doWork(defaultDispatchQueue(), std::move(work));
  }

  // Inputs of all, any and race: promises, plain values, or errors.
  using Inputs = std::vector<CVPOutcome<T>>;

  // Fulfilled with every value in input order once all are fulfilled; rejected by the first
  // rejection, or at once by the first input that is an error. Empty input fulfils with [].
  static CVPPromise<std::vector<T>> all(const platform::QueueRef& queue, Inputs inputs);
  static CVPPromise<std::vector<T>> all(Inputs inputs) {
    return all(defaultDispatchQueue(), std::move(inputs));
  }

  // Once none is pending: fulfilled with each input's value or error in input order when at least
  // one was fulfilled; otherwise rejected with the error of the rejection that came last.
  using AnyResult = std::vector<std::variant<T, platform::Error>>;
  static CVPPromise<AnyResult> any(const platform::QueueRef& queue, Inputs inputs);
  static CVPPromise<AnyResult> any(Inputs inputs) { return any(defaultDispatchQueue(), std::move(inputs)); }

  // Settled by the first input that is not a promise, else by the first promise to settle. Empty
  // input is a programmer error.
  static CVPPromise race(const platform::QueueRef& queue, Inputs inputs);
  static CVPPromise race(Inputs inputs) { return race(defaultDispatchQueue(), std::move(inputs)); }

  // Calls `work` at once on the calling thread; while its outcome is an error, `attempts` remain
  // and `condition` (when given) answers true for (remaining attempts, error), calls it again
  // `delaySeconds` later on the queue with one attempt fewer. `attempts` counts the retries after
  // the first call. Defaults: 1 attempt, 1 second, no condition.
  using RetryCondition = std::function<bool(std::int64_t remainingAttempts, const platform::Error&)>;
  template <class F>
  static CVPPromise retry(const platform::QueueRef& queue, std::int64_t attempts, double delaySeconds,
                          RetryCondition condition, F work);
  template <class F>
  static CVPPromise retry(std::int64_t attempts, double delaySeconds, RetryCondition condition, F work) {
    return retry(defaultDispatchQueue(), attempts, delaySeconds, std::move(condition), std::move(work));
  }
  template <class F>
  static CVPPromise retry(const platform::QueueRef& queue, std::int64_t attempts, F work) {
    return retry(queue, attempts, 1.0, nullptr, std::move(work));
  }
  template <class F>
  static CVPPromise retry(std::int64_t attempts, F work) {
    return retry(defaultDispatchQueue(), attempts, 1.0, nullptr, std::move(work));
  }
  template <class F>
  static CVPPromise retry(const platform::QueueRef& queue, F work) {
    return retry(queue, 1, 1.0, nullptr, std::move(work));
  }
  template <class F>
  static CVPPromise retry(F work) {
    return retry(defaultDispatchQueue(), 1, 1.0, nullptr, std::move(work));
  }

  // Completion-handler wrappers: the work runs on the queue (as with async) and is handed a
  // completion handler that settles the promise. Booleans, integers and doubles are values like any
  // other (CVPPromise<bool>::wrapObjectCompletion).
  //  - wrapCompletion: handler without arguments, fulfils with CVPUnit (CVPPromise<CVPUnit> only);
  //  - wrapObjectCompletion: handler (value), fulfils with it;
  //  - wrapErrorCompletion: handler (error or none), rejects with the error, else fulfils with CVPUnit;
  //  - wrapObjectOrErrorCompletion / wrapErrorOrObjectCompletion: handler (value, error or none) /
  //    (error or none, value), rejects with the error, else fulfils with the value;
  //  - wrap2ObjectsOrErrorCompletion: handler (first, second, error or none) of a CVPPromise<std::pair>.
  using OptionalError = std::optional<platform::Error>;
  static CVPPromise wrapCompletion(const platform::QueueRef& queue,
                                   std::function<void(std::function<void()>)> work);
  static CVPPromise wrapObjectCompletion(const platform::QueueRef& queue,
                                         std::function<void(std::function<void(T)>)> work);
  static CVPPromise wrapErrorCompletion(const platform::QueueRef& queue,
                                        std::function<void(std::function<void(OptionalError)>)> work);
  static CVPPromise wrapObjectOrErrorCompletion(
      const platform::QueueRef& queue, std::function<void(std::function<void(T, OptionalError)>)> work);
  static CVPPromise wrapErrorOrObjectCompletion(
      const platform::QueueRef& queue, std::function<void(std::function<void(OptionalError, T)>)> work);
  template <class F>
  static CVPPromise wrap2ObjectsOrErrorCompletion(const platform::QueueRef& queue, F work);

 private:
  template <class U>
  friend class CVPPromise;
  struct State;
  explicit CVPPromise(std::shared_ptr<State> state) : state_(std::move(state)) {}
  // Settles with `outcome`; returns false when already settled.
  bool settle(std::optional<T> value, std::optional<platform::Error> error) const;

  std::shared_ptr<State> state_;
};

// Fulfilled with a tuple of the values once every promise is fulfilled; rejected by the first
// rejection. The typed form of `all` for promises of different value types.
template <class... Us>
CVPPromise<std::tuple<Us...>> all(const platform::QueueRef& queue, CVPPromise<Us>... promises);
template <class... Us>
CVPPromise<std::tuple<Us...>> all(CVPPromise<Us>... promises) {
  return all(CVPPromiseClass::defaultDispatchQueue(), std::move(promises)...);
}

}  // namespace beacon

#include "promises/detail/PromiseCombinators.inl"
#include "promises/detail/PromiseCore.inl"
#include "promises/detail/PromiseOperators.inl"
