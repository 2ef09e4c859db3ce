#include "sdk-core/heartbeat/RingBuffer.h"

#include <string>

namespace beacon {

platform::Error outOfBoundsPush(std::int64_t tailIndex, std::int64_t length) {
  // Joined from its pieces exactly, "withend" included: the text travels to the server in the agent
  // of a diagnostic heartbeat, so it must read the same in every version of the SDK.
  std::string description = "Out-of-bounds push at index " + std::to_string(tailIndex) +
                            " to ring buffer with" + "end index of " + std::to_string(length) + ".";
  return platform::Error(std::string(kRingBufferErrorDomain),
                         static_cast<std::int64_t>(RingBufferError::outOfBoundsPush), std::move(description),
                         platform::Dictionary{{"tailIndex", tailIndex}, {"length", length}});
}

}  // namespace beacon
