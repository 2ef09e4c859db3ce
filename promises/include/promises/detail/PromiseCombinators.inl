#pragma once
// Definitions of the operators that combine many promises: all, any and race. Included by
// CVPPromise.h only.
//
// The observers of the combined promises share one collection of results and never hold the
// promises themselves, so a promise that never settles does not keep itself alive through them.

namespace beacon {

namespace detail {
// The inputs as promises: plain values and errors become settled promises.
template <class T>
std::vector<CVPPromise<T>> promisesOf(const std::vector<CVPOutcome<T>>& inputs) {
  std::vector<CVPPromise<T>> promises;
  promises.reserve(inputs.size());
  for (const auto& input : inputs) {
    promises.push_back(input.promise() ? *input.promise() : CVPPromise<T>::resolvedWith(input));
  }
  return promises;
}

// Results arriving in any order (on a concurrent queue even at once), kept in input order.
template <class Slot>
struct Collected {
  explicit Collected(std::size_t count) : slots(count), unsettled(count) {}

  // Stores the result of input `index`; answers true for the last one to arrive.
  bool store(std::size_t index, Slot result) {
    std::lock_guard lock(mutex);
    slots[index] = std::move(result);
    return --unsettled == 0;
  }
  std::vector<Slot> take() {
    std::lock_guard lock(mutex);
    return std::move(slots);
  }

  std::mutex mutex;
  std::vector<Slot> slots;
  std::size_t unsettled;
};
}  // namespace detail

template <class T>
CVPPromise<std::vector<T>> CVPPromise<T>::all(const platform::QueueRef& queue, Inputs inputs) {
  if (inputs.empty()) return CVPPromise<std::vector<T>>::resolvedWith(std::vector<T>{});
  return CVPPromise<std::vector<T>>::async(
      queue, [queue, inputs = std::move(inputs)](auto fulfill, auto reject) {
        for (const auto& input : inputs) {
          if (const platform::Error* error = input.error()) return reject(*error);
        }
        const auto promises = detail::promisesOf(inputs);
        auto collected = std::make_shared<detail::Collected<std::optional<T>>>(promises.size());
        for (std::size_t index = 0; index < promises.size(); ++index) {
          promises[index].observeOnQueue(
              queue,
              [collected, index, fulfill](const T& value) {
                if (!collected->store(index, value)) return;
                std::vector<T> values;
                for (auto& slot : collected->take()) values.push_back(std::move(*slot));
                fulfill(std::move(values));
              },
              reject);
        }
      });
}

template <class T>
CVPPromise<typename CVPPromise<T>::AnyResult> CVPPromise<T>::any(const platform::QueueRef& queue,
                                                                 Inputs inputs) {
  if (inputs.empty()) return CVPPromise<AnyResult>::resolvedWith(AnyResult{});
  using Slot = std::optional<std::variant<T, platform::Error>>;
  return CVPPromise<AnyResult>::async(queue, [queue, inputs = std::move(inputs)](auto fulfill, auto reject) {
    const auto promises = detail::promisesOf(inputs);
    auto collected = std::make_shared<detail::Collected<Slot>>(promises.size());
    // The last result to arrive decides.
    auto settled = [collected, fulfill, reject](std::size_t index, std::variant<T, platform::Error> result) {
      const platform::Error* lastError = std::get_if<1>(&result);
      const platform::Error errorCopy = lastError ? *lastError : platform::Error();
      if (!collected->store(index, std::move(result))) return;
      AnyResult results;
      bool anyFulfilled = false;
      for (auto& slot : collected->take()) {
        anyFulfilled = anyFulfilled || slot->index() == 0;
        results.push_back(std::move(*slot));
      }
      anyFulfilled ? fulfill(std::move(results)) : reject(errorCopy);
    };
    for (std::size_t index = 0; index < promises.size(); ++index) {
      promises[index].observeOnQueue(
          queue,
          [settled, index](const T& value) {
            settled(index, std::variant<T, platform::Error>(std::in_place_index<0>, value));
          },
          [settled, index](const platform::Error& error) {
            settled(index, std::variant<T, platform::Error>(std::in_place_index<1>, error));
          });
    }
  });
}

template <class T>
CVPPromise<T> CVPPromise<T>::race(const platform::QueueRef& queue, Inputs inputs) {
  if (inputs.empty())
    throw platform::ProgrammerError("NSInternalInconsistencyException", "No promises to observe");
  return async(queue, [queue, inputs = std::move(inputs)](auto fulfill, auto reject) {
    for (const auto& input : inputs) {
      if (!input.promise()) return fulfill(input);
    }
    for (const auto& input : inputs) {
      input.promise()->observeOnQueue(
          queue, [fulfill](const T& value) { fulfill(value); }, reject);
    }
  });
}

namespace detail {
template <class... Us, std::size_t... Index>
void observeAllOf(const platform::QueueRef& queue, const std::tuple<CVPPromise<Us>...>& promises,
                  std::function<void(CVPOutcome<std::tuple<Us...>>)> fulfill,
                  std::function<void(const platform::Error&)> reject, std::index_sequence<Index...>) {
  struct Values {
    std::mutex mutex;
    std::tuple<std::optional<Us>...> slots;
    std::size_t unsettled = sizeof...(Us);
  };
  auto values = std::make_shared<Values>();
  auto observe = [&](const auto& promise, auto index) {
    using U = typename std::decay_t<decltype(promise)>::Value;
    promise.observeOnQueue(
        queue,
        [values, fulfill](const U& value) {
          std::unique_lock lock(values->mutex);
          std::get<decltype(index)::value>(values->slots) = value;
          if (--values->unsettled > 0) return;
          auto result = std::tuple<Us...>(std::move(*std::get<Index>(values->slots))...);
          lock.unlock();
          fulfill(std::move(result));
        },
        reject);
  };
  (observe(std::get<Index>(promises), std::integral_constant<std::size_t, Index>{}), ...);
}
}  // namespace detail

template <class... Us>
CVPPromise<std::tuple<Us...>> all(const platform::QueueRef& queue, CVPPromise<Us>... promises) {
  return CVPPromise<std::tuple<Us...>>::async(
      queue, [queue, promises = std::make_tuple(promises...)](auto fulfill, auto reject) {
        detail::observeAllOf<Us...>(queue, promises, fulfill, reject, std::index_sequence_for<Us...>{});
      });
}

}  // namespace beacon
