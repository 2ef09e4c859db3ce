#pragma once
// Decides whether the installations client may send its next register or token request, from the
// outcome of the requests before. In memory only: every process starts with requests allowed.
//
// After an unrecoverable failure (the service refused the request as it stands) the next request
// waits 24 hours; after the n-th recoverable failure in a row (overload, server trouble) it waits
// 2^n seconds plus a random fraction under one second, at most 30 minutes; a success lifts every
// wait, and so does setting right a clock that ran ahead when the event came (StampAge.h).
// Thread-safe: one lock guards the state, and the clock is read under it.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/identity/RandomSource.h"
#include "platform/time/Clock.h"

namespace beacon {

enum class BCNInstallationsBackoffEvent : std::int64_t {
  Success = 0,
  RecoverableFailure = 1,
  UnrecoverableFailure = 2,
};

class BCNInstallationsBackoffControllerProtocol {
 public:
  virtual ~BCNInstallationsBackoffControllerProtocol() = default;
  virtual bool isNextRequestAllowed() = 0;
  virtual void registerEvent(BCNInstallationsBackoffEvent event) = 0;
};

struct BCNInstallationsBackoffEventData {
  BCNInstallationsBackoffEvent eventType;
  platform::Date lastEventDate;
  // Events of this type in a row, from 1.
  std::int64_t eventCount;
  double backoffTimeInterval;

  // Seconds to wait after `count` events of this type in a row.
  static double backoffTimeIntervalWithEvent(BCNInstallationsBackoffEvent event, std::int64_t count,
                                             platform::RandomSource& random);
  static double recoverableErrorBackoffTimeForAttemptNumber(std::int64_t attempt,
                                                            platform::RandomSource& random);
  // A whole number of milliseconds from 0 to 999, in seconds.
  static double randomMilliseconds(platform::RandomSource& random);
};

class BCNInstallationsBackoffController final : public BCNInstallationsBackoffControllerProtocol {
 public:
  using CurrentDateProvider = std::function<platform::Date()>;

  // The system clock and the system's random source.
  BCNInstallationsBackoffController();
  explicit BCNInstallationsBackoffController(CurrentDateProvider currentDateProvider,
                                             platform::RandomSource& random = platform::systemRandomSource());

  bool isNextRequestAllowed() override;
  void registerEvent(BCNInstallationsBackoffEvent event) override;

  std::optional<BCNInstallationsBackoffEventData> lastEventData() const;

 private:
  const CurrentDateProvider currentDateProvider_;
  platform::RandomSource& random_;
  mutable std::mutex mutex_;
  std::optional<BCNInstallationsBackoffEventData> lastEventData_;
};

}  // namespace beacon
