#pragma once
// Stamps that order the changes of all machines the same way everywhere: a hybrid logical clock.
//
// A stamp is one integer: the wall clock in milliseconds since 1970 shifted left by 16 bits, plus a
// counter in the low bits. Each stamp this clock issues is above every stamp it issued or received
// before, whatever the wall clock does (set back, or standing still): stamps follow real time while
// the machines' clocks agree and never run backwards against what a machine has seen. Ties between
// machines are broken by the machine's identifier, outside this class.
//
// Not thread-safe: the mirror uses it on its own queue.

#include <cstdint>

#include "platform/value/Value.h"

namespace platform {

class HybridLogicalClock {
 public:
  explicit HybridLogicalClock(std::int64_t last = 0, std::int64_t wallClock = 0)
      : last_(last), wallClock_(wallClock) {}

  // A new stamp for a change made at `now`; never below the last one, and never wrapping round
  // when the last one is the largest stamp there is.
  std::int64_t tick(Date now);
  // A new stamp just above every stamp issued or received, whatever the wall clock says.
  std::int64_t tickAboveSeen();
  // Takes note of a stamp seen from another machine.
  void receive(std::int64_t stamp);
  // Takes note of this machine's wall clock.
  void noteWallClock(Date now);
  // The newest stamp issued or received.
  std::int64_t last() const { return last_; }
  // The latest reading of this machine's wall clock, as a stamp with a zero counter.
  std::int64_t wallClock() const { return wallClock_; }

  // The stamp standing for `now` with a zero counter.
  static std::int64_t physicalStamp(Date now);
  // Whether a stamp from another machine is close enough to be taken: no further ahead than
  // kLargestLead of `now`, or of the latest reading of this machine's wall clock, whichever is
  // later. Clocks of machines disagree by minutes or hours, a wrongly set one by days; a stamp
  // further ahead is not taken yet, since taking it would put every later stamp of this machine
  // behind it. A wall clock set back by months (a reset battery, a wrong date typed in) does not
  // make the others' stamps look far ahead: its earlier readings show how late it is. Stamps
  // received from other machines never widen the reach: a journal whose stamps climb a little
  // with every chunk would otherwise carry this machine's clock, and every stamp it issues, months
  // ahead, where the other machines do not take them.
  static constexpr double kLargestLead = 30 * 86400.0;  // seconds
  bool isWithinReach(std::int64_t stamp, Date now) const;
  // Whether `stamp` lies no further than kLargestLead ahead of the stamp `reference`.
  static bool isWithinReachOf(std::int64_t stamp, std::int64_t reference);

 private:
  std::int64_t last_;
  std::int64_t wallClock_;
};

}  // namespace platform
