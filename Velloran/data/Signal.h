#pragma once
// Change signals: how the view models (and the sync monitor's event stream) tell their observers
// that something happened. An observer connects a handler and keeps the returned Subscription; the
// handler is called on every emit until the Subscription is destroyed or reset.
//
// Threads: a signal and its subscriptions belong to one thread, their owner's (the main thread for
// everything in this folder). Nothing here locks.
//
// Re-entrancy: handlers may connect, disconnect (themselves included) and emit while being called.
// An emit calls the handlers connected when it began, in the order they connected, skipping any
// disconnected before its turn came; a handler connected during an emit first hears the next one.
// A Subscription may outlive its signal; resetting it then does nothing.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velloran {

namespace detail {
struct SignalConnection {
  bool connected = true;
};
}  // namespace detail

class Subscription {
 public:
  // Observes nothing.
  Subscription() = default;
  explicit Subscription(std::weak_ptr<detail::SignalConnection> connection)
      : connection_(std::move(connection)) {}
  Subscription(Subscription&& other) noexcept = default;
  // Ends this subscription, then takes over the other's.
  Subscription& operator=(Subscription&& other) noexcept;
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }

  // Disconnects the handler; later calls do nothing.
  void reset();
  // True while the handler is connected to a living signal.
  bool isConnected() const;

 private:
  std::weak_ptr<detail::SignalConnection> connection_;
};

template <class... Arguments>
class Signal {
 public:
  using Handler = std::function<void(const Arguments&...)>;

  Signal() = default;
  // A signal is an identity: observers hold subscriptions to this very object.
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  // Connecting and emitting do not change the owner's observable state, so both work on a const
  // signal: owners hand out const references that observers can still connect to.
  [[nodiscard]] Subscription connect(Handler handler) const {
    auto slot =
        std::make_shared<Slot>(Slot{std::make_shared<detail::SignalConnection>(), std::move(handler)});
    prune();
    slots_.push_back(slot);
    return Subscription(slot->connection);
  }

  void emit(const Arguments&... arguments) const {
    // A snapshot, so handlers may change the slot list while the emit walks it.
    const std::vector<std::shared_ptr<Slot>> current = slots_;
    for (const auto& slot : current) {
      if (slot->connection->connected) slot->handler(arguments...);
    }
    prune();
  }

 private:
  struct Slot {
    std::shared_ptr<detail::SignalConnection> connection;
    Handler handler;
  };

  void prune() const {
    std::erase_if(slots_, [](const std::shared_ptr<Slot>& slot) { return !slot->connection->connected; });
  }

  mutable std::vector<std::shared_ptr<Slot>> slots_;
};

}  // namespace velloran
