#pragma once
// Definitions of CVPPromise's instance operators and of its class operators that build one promise
// from work blocks. Included by CVPPromise.h only.

namespace beacon {

namespace detail {
inline std::chrono::nanoseconds promiseInterval(double seconds) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
}
}  // namespace detail

template <class T>
template <class F>
auto CVPPromise<T>::then(const platform::QueueRef& queue, F work) const
    -> CVPPromise<detail::WorkValue<F, const T&>> {
  using U = detail::WorkValue<F, const T&>;
  return chainOnQueue<U>(
      queue, [work = std::move(work)](const T& value) mutable { return detail::runWork<U>(work, value); },
      nullptr);
}

template <class T>
CVPPromise<T> CVPPromise<T>::catchError(const platform::QueueRef& queue, RejectBlock onReject) const {
  requireArgument(static_cast<bool>(onReject), "reject");
  return chainOnQueue<T>(queue, nullptr, [onReject = std::move(onReject)](const platform::Error& error) {
    onReject(error);
    return CVPOutcome<T>(error);
  });
}

template <class T>
template <class F>
CVPPromise<T> CVPPromise<T>::recover(const platform::QueueRef& queue, F recovery) const {
  static_assert(std::is_same_v<detail::WorkValue<F, const platform::Error&>, T>,
                "a recovery must settle a promise of the same value type");
  return chainOnQueue<T>(queue, nullptr,
                         [recovery = std::move(recovery)](const platform::Error& error) mutable {
                           return detail::runWork<T>(recovery, error);
                         });
}

template <class T>
CVPPromise<T> CVPPromise<T>::always(const platform::QueueRef& queue, std::function<void()> work) const {
  requireArgument(static_cast<bool>(work), "work");
  return chainOnQueue<T>(
      queue,
      [work](const T& value) {
        work();
        return CVPOutcome<T>(value);
      },
      [work](const platform::Error& error) {
        work();
        return CVPOutcome<T>(error);
      });
}

template <class T>
CVPPromise<T> CVPPromise<T>::validate(const platform::QueueRef& queue,
                                      std::function<bool(const T&)> predicate) const {
  requireArgument(static_cast<bool>(predicate), "predicate");
  return chainOnQueue<T>(
      queue,
      [predicate = std::move(predicate)](const T& value) {
        return predicate(value) ? CVPOutcome<T>(value)
                                : CVPOutcome<T>(CVPPromiseError(kCVPPromiseErrorCodeValidationFailure));
      },
      nullptr);
}

template <class T>
CVPPromise<T> CVPPromise<T>::delay(const platform::QueueRef& queue, double seconds) const {
  requireArgument(queue != nullptr, "queue");
  auto delayed = pendingPromise();
  observeOnQueue(
      queue,
      [delayed, queue, seconds](const T& value) {
        queue->asyncAfter(detail::promiseInterval(seconds), [delayed, value] { delayed.fulfill(value); });
      },
      [delayed](const platform::Error& error) { delayed.reject(error); });
  return delayed;
}

template <class T>
CVPPromise<T> CVPPromise<T>::timeout(const platform::QueueRef& queue, double seconds) const {
  auto limited = chainOnQueue<T>(queue, nullptr, nullptr);
  queue->asyncAfter(detail::promiseInterval(seconds), [weak = std::weak_ptr<State>(limited.state_)] {
    if (auto state = weak.lock())
      CVPPromise(std::move(state)).reject(CVPPromiseError(kCVPPromiseErrorCodeTimedOut));
  });
  return limited;
}

template <class T>
template <class Item, class F>
CVPPromise<T> CVPPromise<T>::reduce(const platform::QueueRef& queue, std::vector<Item> items,
                                    F combine) const {
  static_assert(std::is_same_v<detail::WorkValue<F, const T&, const Item&>, T>,
                "combine must settle a promise of the same value type");
  CVPPromise link = *this;
  for (auto& item : items) {
    link = link.template chainOnQueue<T>(
        queue,
        [combine, item = std::move(item)](const T& partial) mutable {
          return detail::runWork<T>(combine, partial, item);
        },
        nullptr);
  }
  return link;
}

template <class T>
CVPPromise<T> CVPPromise<T>::async(const platform::QueueRef& queue, AsyncWork work) {
  requireArgument(queue != nullptr, "queue");
  requireArgument(static_cast<bool>(work), "work");
  auto promise = pendingPromise();
  dispatchGroup().async(queue, [promise, queue, work = std::move(work)] {
    work([promise, queue](CVPOutcome<T> outcome) { promise.resolve(std::move(outcome), queue); },
         [promise](const platform::Error& error) { promise.reject(error); });
  });
  return promise;
}

template <class T>
template <class F>
CVPPromise<T> CVPPromise<T>::doWork(const platform::QueueRef& queue, F work) {
  static_assert(std::is_same_v<detail::WorkValue<F>, T>, "the work must settle a promise of this value type");
  requireArgument(queue != nullptr, "queue");
  auto promise = pendingPromise();
  dispatchGroup().async(queue, [promise, queue, work = std::move(work)]() mutable {
    promise.resolve(detail::runWork<T>(work), queue);
  });
  return promise;
}

namespace detail {
// One retrying call sequence; each scheduled retry keeps it alive until it runs.
template <class T, class F>
struct RetryRun : std::enable_shared_from_this<RetryRun<T, F>> {
  RetryRun(CVPPromise<T> promise, platform::QueueRef queue, double delaySeconds,
           typename CVPPromise<T>::RetryCondition condition, F work)
      : promise(std::move(promise)),
        queue(std::move(queue)),
        delaySeconds(delaySeconds),
        condition(std::move(condition)),
        work(std::move(work)) {}

  void attempt(std::int64_t remaining) {
    CVPOutcome<T> outcome = runWork<T>(work);
    if (const T* value = outcome.value()) {
      promise.fulfill(*value);
    } else if (const platform::Error* error = outcome.error()) {
      failed(remaining, *error);
    } else {
      auto self = this->shared_from_this();
      outcome.promise()->observeOnQueue(
          queue, [self](const T& value) { self->promise.fulfill(value); },
          [self, remaining](const platform::Error& error) { self->failed(remaining, error); });
    }
  }

  void failed(std::int64_t remaining, const platform::Error& error) {
    if (remaining >= 1 && (!condition || condition(remaining, error))) {
      queue->asyncAfter(promiseInterval(delaySeconds),
                        [self = this->shared_from_this(), remaining] { self->attempt(remaining - 1); });
    } else {
      promise.reject(error);
    }
  }

  CVPPromise<T> promise;
  platform::QueueRef queue;
  double delaySeconds;
  typename CVPPromise<T>::RetryCondition condition;
  F work;
};
}  // namespace detail

template <class T>
template <class F>
CVPPromise<T> CVPPromise<T>::retry(const platform::QueueRef& queue, std::int64_t attempts,
                                   double delaySeconds, RetryCondition condition, F work) {
  static_assert(std::is_same_v<detail::WorkValue<F>, T>, "the work must settle a promise of this value type");
  requireArgument(queue != nullptr, "queue");
  auto promise = pendingPromise();
  auto run = std::make_shared<detail::RetryRun<T, F>>(promise, queue, delaySeconds, std::move(condition),
                                                      std::move(work));
  run->attempt(attempts);
  return promise;
}

template <class T>
CVPPromise<T> CVPPromise<T>::wrapCompletion(const platform::QueueRef& queue,
                                            std::function<void(std::function<void()>)> work) {
  static_assert(std::is_same_v<T, CVPUnit>, "wrapCompletion fulfils with nothing");
  requireArgument(static_cast<bool>(work), "work");
  return async(queue,
               [work = std::move(work)](auto fulfill, auto) { work([fulfill] { fulfill(CVPUnit{}); }); });
}

template <class T>
CVPPromise<T> CVPPromise<T>::wrapObjectCompletion(const platform::QueueRef& queue,
                                                  std::function<void(std::function<void(T)>)> work) {
  requireArgument(static_cast<bool>(work), "work");
  return async(queue, [work = std::move(work)](auto fulfill, auto) {
    work([fulfill](T value) { fulfill(std::move(value)); });
  });
}

template <class T>
CVPPromise<T> CVPPromise<T>::wrapErrorCompletion(
    const platform::QueueRef& queue, std::function<void(std::function<void(OptionalError)>)> work) {
  static_assert(std::is_same_v<T, CVPUnit>, "wrapErrorCompletion fulfils with nothing");
  requireArgument(static_cast<bool>(work), "work");
  return async(queue, [work = std::move(work)](auto fulfill, auto reject) {
    work([fulfill, reject](OptionalError error) { error ? reject(*error) : fulfill(CVPUnit{}); });
  });
}

template <class T>
CVPPromise<T> CVPPromise<T>::wrapObjectOrErrorCompletion(
    const platform::QueueRef& queue, std::function<void(std::function<void(T, OptionalError)>)> work) {
  requireArgument(static_cast<bool>(work), "work");
  return async(queue, [work = std::move(work)](auto fulfill, auto reject) {
    work([fulfill, reject](T value, OptionalError error) {
      error ? reject(*error) : fulfill(std::move(value));
    });
  });
}

template <class T>
CVPPromise<T> CVPPromise<T>::wrapErrorOrObjectCompletion(
    const platform::QueueRef& queue, std::function<void(std::function<void(OptionalError, T)>)> work) {
  requireArgument(static_cast<bool>(work), "work");
  return async(queue, [work = std::move(work)](auto fulfill, auto reject) {
    work([fulfill, reject](OptionalError error, T value) {
      error ? reject(*error) : fulfill(std::move(value));
    });
  });
}

template <class T>
template <class F>
CVPPromise<T> CVPPromise<T>::wrap2ObjectsOrErrorCompletion(const platform::QueueRef& queue, F work) {
  using First = typename T::first_type;
  using Second = typename T::second_type;
  return async(queue, [work = std::move(work)](auto fulfill, auto reject) mutable {
    work(std::function<void(First, Second, OptionalError)>(
        [fulfill, reject](First first, Second second, OptionalError error) {
          error ? reject(*error) : fulfill(T(std::move(first), std::move(second)));
        }));
  });
}

}  // namespace beacon
