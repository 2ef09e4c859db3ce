#include "platform/dispatch/backend/BriefLock.h"

namespace platform::detail {
namespace {

// With the pause hint between them, the retries take a few microseconds at most.
constexpr int kRetriesBeforeSleeping = 64;

}  // namespace

std::unique_lock<std::mutex> lockBriefly(std::mutex& mutex) {
  for (int retry = 0; retry < kRetriesBeforeSleeping; ++retry) {
    if (mutex.try_lock()) return std::unique_lock(mutex, std::adopt_lock);
    pauseBriefly();
  }
  return std::unique_lock(mutex);
}

}  // namespace platform::detail
