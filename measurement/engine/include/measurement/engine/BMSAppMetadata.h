#pragma once
// The engine's record of the last upload bundle it made: its index (never negative; wraps to 0 after
// the largest 32-bit value) and its start and end times. A plain value kept in the measurement
// database.

#include <cstdint>
#include <optional>

namespace beacon {

class BMSAppMetadata {
 public:
  // No object for a negative index (logged, code 4000).
  static std::optional<BMSAppMetadata> initWithLastBundleIndex(std::int32_t lastBundleIndex,
                                                               double lastBundleStartTimestamp,
                                                               double lastBundleEndTimestamp);

  std::int32_t lastBundleIndex() const { return lastBundleIndex_; }
  double lastBundleStartTimestamp() const { return lastBundleStartTimestamp_; }
  double lastBundleEndTimestamp() const { return lastBundleEndTimestamp_; }
  void setLastBundleStartTimestamp(double timestamp) { lastBundleStartTimestamp_ = timestamp; }
  void setLastBundleEndTimestamp(double timestamp) { lastBundleEndTimestamp_ = timestamp; }

  // Adds 1; after 2147483647 the index starts again at 0 (logged, code 4001).
  void incrementLastBundleIndex();

  friend bool operator==(const BMSAppMetadata&, const BMSAppMetadata&) = default;

 private:
  BMSAppMetadata(std::int32_t index, double start, double end)
      : lastBundleIndex_(index), lastBundleStartTimestamp_(start), lastBundleEndTimestamp_(end) {}

  std::int32_t lastBundleIndex_;
  double lastBundleStartTimestamp_;
  double lastBundleEndTimestamp_;
};

}  // namespace beacon
