#pragma once
// Bounds the events on their way from the callers of the facade to storage. Each event holds a
// place from the moment it is queued until the engine has handled it; the places are few enough
// that a burst logged as fast as a caller can stays within a few megabytes.
//
// At the bound, how long a caller waits for a place depends on where it runs:
//  - On a thread of its own or in a global queue's block it waits: callers are slowed to the pace
//    of storage rather than losing events.
//  - On the main thread it waits briefly (kBriefPatience), so the app stays responsive.
//  - In a serial queue's block - a listener's or the interceptor's, the engine's own, the app's -
//    it does not wait: storage may need that very queue to make room, and the queue would run
//    nothing else meanwhile.
// A caller that gets no place in its time is refused: the event is counted and logged like the
// daily limit's drops. When a patient wait runs out (storage is stuck), later callers are refused at
// once until a place frees up; when a brief one does, later brief callers are.
// Before the start the operation queue holds every event by design: a caller then takes a place
// when one is free and is let through without one otherwise.
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
  static constexpr std::chrono::milliseconds kBriefPatience{50};

  // How long a caller may wait for a place (see above).
  enum class Wait { Never, Briefly, Patiently };

  explicit BMSEventBacklog(std::int64_t bound = kDefaultBound,
                           std::chrono::nanoseconds patience = kDefaultPatience);

  // A place, given back when the last copy is gone; null when the event is let through unbounded.
  using Place = std::shared_ptr<const void>;
  struct Admission {
    bool admitted = false;
    Place place;
  };
  // The event `name` asks for a place, waiting as `wait` allows; refused when it gets none.
  Admission admit(const std::string& name, Wait wait);
  // The event is let through: with a place when one is free, without one otherwise.
  Admission letThrough();
  // How long the calling thread may wait for a place.
  static Wait callerWait();

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
    // Set when a patient wait, or a brief one, ran out; both cleared when a place is given back.
    std::atomic<bool> stalled = false;
    std::atomic<bool> briefStalled = false;
  };

  // A place just taken, given back to the state when released.
  Place placeTaken() const;
  // A place free now, without waiting; null when there is none.
  Place freePlace();
  // Waits for a place as `wait` allows; null when none came.
  Place waitForPlace(Wait wait);

  std::int64_t bound_;
  std::chrono::nanoseconds patience_;
  std::shared_ptr<State> state_;
  std::atomic<std::int64_t> refused_ = 0;
};

}  // namespace beacon
