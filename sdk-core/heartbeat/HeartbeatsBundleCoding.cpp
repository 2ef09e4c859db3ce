#include "sdk-core/heartbeat/HeartbeatsBundleCoding.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace beacon {
namespace {

using nlohmann::json;

platform::Error codingError(HeartbeatsCodingError code, std::string description) {
  return platform::Error(std::string(kHeartbeatsCodingErrorDomain), static_cast<std::int64_t>(code),
                         std::move(description));
}

// Thrown by the readers below and caught in decodeHeartbeatsBundle, so each reader can stop at the
// first thing wrong without threading a Result through every level.
struct Malformed {
  std::string reason;
};

const json& member(const json& object, const char* key) {
  if (!object.is_object()) throw Malformed{std::string("expected an object holding \"") + key + "\""};
  auto found = object.find(key);
  if (found == object.end()) throw Malformed{std::string("missing \"") + key + "\""};
  return *found;
}

std::int64_t readInteger(const json& value, const char* what) {
  if (value.is_number_unsigned()) {
    if (value.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      throw Malformed{std::string(what) + " is out of range"};
    }
    return static_cast<std::int64_t>(value.get<std::uint64_t>());
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  throw Malformed{std::string(what) + " is not an integer"};
}

platform::Date readDate(const json& value, const char* what) {
  if (!value.is_number()) throw Malformed{std::string(what) + " is not a number"};
  return platform::Date{value.get<double>()};
}

TimePeriod readTimePeriod(const json& value) {
  const auto raw = readInteger(value, "a time period");
  if (auto period = timePeriodFromRawValue(raw)) return *period;
  throw Malformed{"unknown time period " + std::to_string(raw)};
}

const json::array_t& readArray(const json& value, const char* what) {
  if (!value.is_array()) throw Malformed{std::string(what) + " is not an array"};
  return value.get_ref<const json::array_t&>();
}

Heartbeat readHeartbeat(const json& object) {
  const json& agent = member(object, "agent");
  if (!agent.is_string()) throw Malformed{"an agent is not a string"};
  Heartbeat heartbeat{agent.get<std::string>(),
                      readDate(member(object, "date"), "a heartbeat date"),
                      readInteger(member(object, "version"), "a heartbeat version"),
                      {}};
  for (const json& period : readArray(member(object, "timePeriods"), "timePeriods")) {
    heartbeat.timePeriods.push_back(readTimePeriod(period));
  }
  return heartbeat;
}

RingBuffer<Heartbeat> readBuffer(const json& object) {
  std::vector<std::optional<Heartbeat>> slots;
  for (const json& slot : readArray(member(object, "circularQueue"), "circularQueue")) {
    slots.push_back(slot.is_null() ? std::nullopt : std::optional<Heartbeat>(readHeartbeat(slot)));
  }
  return RingBuffer<Heartbeat>(std::move(slots), readInteger(member(object, "tailIndex"), "tailIndex"));
}

// The map is stored as [period, date, period, date, ...]; a later pair wins over an earlier one.
LastAddedHeartbeatDates readLastAddedDates(const json& value) {
  const auto& items = readArray(value, "lastAddedHeartbeatDates");
  if (items.size() % 2 != 0) throw Malformed{"lastAddedHeartbeatDates has a period without a date"};
  LastAddedHeartbeatDates dates;
  for (std::size_t i = 0; i < items.size(); i += 2) {
    dates[readTimePeriod(items[i])] = readDate(items[i + 1], "a last-added date");
  }
  return dates;
}

json writeDate(platform::Date date) {
  if (!std::isfinite(date.secondsSinceReferenceDate)) throw Malformed{"a date is not a finite number"};
  return date.secondsSinceReferenceDate;
}

json writeHeartbeat(const Heartbeat& heartbeat) {
  json periods = json::array();
  for (TimePeriod period : heartbeat.timePeriods) periods.push_back(static_cast<std::int64_t>(period));
  return {{"agent", heartbeat.agent},
          {"date", writeDate(heartbeat.date)},
          {"version", heartbeat.version},
          {"timePeriods", std::move(periods)}};
}

json writeBundle(const HeartbeatsBundle& bundle) {
  json dates = json::array();
  for (const auto& [period, date] : bundle.lastAddedHeartbeatDates) {
    dates.push_back(static_cast<std::int64_t>(period));
    dates.push_back(writeDate(date));
  }
  json slots = json::array();
  for (const auto& slot : bundle.buffer.circularQueue())
    slots.push_back(slot ? writeHeartbeat(*slot) : json());
  return {{"capacity", bundle.capacity},
          {"lastAddedHeartbeatDates", std::move(dates)},
          {"buffer", {{"circularQueue", std::move(slots)}, {"tailIndex", bundle.buffer.tailIndex()}}}};
}

}  // namespace

platform::Result<platform::Bytes> encodeHeartbeatsBundle(const HeartbeatsBundle& bundle) {
  try {
    const std::string text = writeBundle(bundle).dump();
    return platform::Bytes(text.begin(), text.end());
  } catch (const Malformed& malformed) {
    return codingError(HeartbeatsCodingError::encodingFailed,
                       "Cannot store the heartbeats: " + malformed.reason);
  } catch (const json::exception& failure) {
    // dump() refuses text that is not UTF-8.
    return codingError(HeartbeatsCodingError::encodingFailed,
                       std::string("Cannot store the heartbeats: ") + failure.what());
  }
}

platform::Result<HeartbeatsBundle> decodeHeartbeatsBundle(const platform::Bytes& data) {
  const json document = json::parse(data.begin(), data.end(), nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded()) {
    return codingError(HeartbeatsCodingError::decodingFailed, "Stored heartbeats are not JSON");
  }
  try {
    const auto capacity = readInteger(member(document, "capacity"), "capacity");
    if (capacity > kLargestStoredCapacity)
      throw Malformed{"capacity " + std::to_string(capacity) + " is too large"};
    return HeartbeatsBundle(capacity, readLastAddedDates(member(document, "lastAddedHeartbeatDates")),
                            readBuffer(member(document, "buffer")));
  } catch (const Malformed& malformed) {
    return codingError(HeartbeatsCodingError::decodingFailed,
                       "Stored heartbeats are damaged: " + malformed.reason);
  }
}

}  // namespace beacon
