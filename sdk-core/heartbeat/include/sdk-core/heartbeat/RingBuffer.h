#pragma once
// A fixed-size ring of optional slots that keeps the most recent elements: a push writes the tail
// slot (replacing what was there) and moves the tail on; a pop takes the element before the tail.
//
// A ring restored from storage may be damaged: its tail may lie outside the slots, or its slot count
// may differ from the capacity its owner recorded. Every operation works on the actual slot count and
// never touches a slot outside it: a push at an invalid tail fails with outOfBoundsPush, a pop there
// answers nothing.
//
// A plain value type without locking.

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error/Error.h"
#include "platform/error/Result.h"

namespace beacon {

inline constexpr std::string_view kRingBufferErrorDomain = "beacon.heartbeat.RingBuffer";

enum class RingBufferError : std::int64_t { outOfBoundsPush = 1 };

// The failure of a push at `tailIndex` into a ring of `length` slots. Its description reads
// "Out-of-bounds push at index <tail> to ring buffer withend index of <length>."; the userInfo keeps
// both numbers under "tailIndex" and "length".
platform::Error outOfBoundsPush(std::int64_t tailIndex, std::int64_t length);

template <class Element>
class RingBuffer {
 public:
  // `capacity` empty slots, tail at 0. A negative capacity is a programmer error.
  explicit RingBuffer(std::int64_t capacity) : tailIndex_(0) {
    if (capacity < 0)
      throw platform::ProgrammerError("RingBufferCapacity", "A ring buffer needs a capacity of 0 or more");
    circularQueue_.resize(static_cast<std::size_t>(capacity));
  }

  // A ring as it was stored, taken as it is, damage included.
  RingBuffer(std::vector<std::optional<Element>> circularQueue, std::int64_t tailIndex)
      : circularQueue_(std::move(circularQueue)), tailIndex_(tailIndex) {}

  const std::vector<std::optional<Element>>& circularQueue() const { return circularQueue_; }
  std::int64_t tailIndex() const { return tailIndex_; }

  // Writes `element` at the tail and returns the element it replaced (nullopt for an empty slot).
  // A ring without slots ignores the push. A tail outside the slots fails with outOfBoundsPush and
  // changes nothing.
  platform::Result<std::optional<Element>> push(Element element) {
    const auto length = slotCount();
    if (length == 0) return std::optional<Element>{};
    if (tailIndex_ < 0 || tailIndex_ >= length) return outOfBoundsPush(tailIndex_, length);
    auto& slot = circularQueue_[static_cast<std::size_t>(tailIndex_)];
    std::optional<Element> replaced = std::exchange(slot, std::move(element));
    tailIndex_ = (tailIndex_ + 1 == length) ? 0 : tailIndex_ + 1;
    return replaced;
  }

  // Steps the tail back one slot (from 0 or below to the last slot) and takes that slot's element;
  // the tail stays there even when the slot was empty. A tail that is still outside the slots after
  // the step answers nothing.
  std::optional<Element> pop() {
    const auto length = slotCount();
    if (length == 0) return std::nullopt;
    tailIndex_ = (tailIndex_ <= 0) ? length - 1 : tailIndex_ - 1;
    if (tailIndex_ >= length) return std::nullopt;
    return std::exchange(circularQueue_[static_cast<std::size_t>(tailIndex_)], std::nullopt);
  }

  // The stored elements in slot order (not push order), empty slots skipped.
  std::vector<Element> elements() const {
    std::vector<Element> result;
    for (const auto& slot : circularQueue_) {
      if (slot) result.push_back(*slot);
    }
    return result;
  }

  friend bool operator==(const RingBuffer&, const RingBuffer&) = default;

 private:
  std::int64_t slotCount() const { return static_cast<std::int64_t>(circularQueue_.size()); }

  std::vector<std::optional<Element>> circularQueue_;
  std::int64_t tailIndex_;
};

}  // namespace beacon
