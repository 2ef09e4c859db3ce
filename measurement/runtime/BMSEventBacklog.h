#pragma once
// Bounds the events on their way from the callers of the facade to storage. Each event holds a
// place from the moment it is queued until the engine has handled it; the places are few enough
// that a burst logged as fast as a caller can stays within a few megabytes.
//
// At the bound a caller that may wait waits for a place: callers are slowed to the pace of storage
// rather than losing events. Only a caller on a thread of its own may wait (one running a queue's
// block might hold up the very queues that make room), and only while the engine runs; any other
// caller is let through over the bound - the SDK's own queues log a few events per event they
// handle, and before the start the operation queue holds every event by design. When no place
// frees up within the patience (storage is stuck), the event is refused, counted, and logged like
// the daily limit's drops; later callers are refused at once until a place frees up.
//
// Places come back one by one as the engine handles events, but a caller waiting at the bound is
// woken for a batch of them at once: woken per place, it would log one event, sleep again, and make
// every queue on the event's way wake up for that single event.
//
// Thread-safe.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/dispatch/Semaphore.h"

namespace beacon {

class BMSEventBacklog {
 public:
  static constexpr std::int64_t kDefaultBound = 10000;
  static constexpr std::chrono::seconds kDefaultPatience{10};

  explicit BMSEventBacklog(std::int64_t bound = kDefaultBound,
                           std::chrono::nanoseconds patience = kDefaultPatience);

  // A place, given back when the last copy is gone; null when the event is let through unbounded.
  using Place = std::shared_ptr<const void>;
  struct Admission {
    bool admitted = false;
    Place place;
  };
  // The event `name` asks for a place (see above); `mayWait` when the caller may be held up.
  Admission admit(const std::string& name, bool mayWait);
  // Whether the calling thread may wait for a place: it runs no queue's block.
  static bool callerMayWait();

  std::int64_t refusedCount() const { return refused_.load(); }

 private:
  // Places handed to waiting callers at once, at most.
  static constexpr std::int64_t kWakeBatch = 128;

  struct State {
    State(std::int64_t bound, std::int64_t wakeBatch) : places(bound), wakeBatch(wakeBatch) {}
    // Gives a place back: into `returned`, and a batch of them to `places` once there are enough.
    void giveBack();
    // Takes a place of `returned`; false when there is none.
    bool takeReturned();

    platform::Semaphore places;
    // Places given back but not yet handed to `places`: a caller takes them without waiting. Never
    // more than a batch minus one stays here while a caller waits, and the bound is many batches, so
    // the places still held always bring the next batch.
    std::atomic<std::int64_t> returned = 0;
    const std::int64_t wakeBatch;
    // Set when a wait ran out; cleared when a place is given back.
    std::atomic<bool> stalled = false;
  };

  std::int64_t bound_;
  std::chrono::nanoseconds patience_;
  std::shared_ptr<State> state_;
  std::atomic<std::int64_t> refused_ = 0;
};

}  // namespace beacon
