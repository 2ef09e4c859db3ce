#include "sdk-core/heartbeat/HeartbeatsBundle.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace beacon {
namespace {

// The agent of the heartbeat that stands in for a damaged ring: the failure's text, blanks made "-",
// so the next payload tells the server what went wrong.
std::string diagnosticAgent(const std::string& agent, const platform::Error& failure) {
  std::string text = failure.description;
  std::replace(text.begin(), text.end(), ' ', '-');
  return agent + " error/" + text;
}

}  // namespace

LastAddedHeartbeatDates HeartbeatsBundle::initialLastAddedDates() {
  LastAddedHeartbeatDates dates;
  for (TimePeriod period : kAllTimePeriods) dates[period] = platform::Date::distantPast();
  return dates;
}

HeartbeatsBundle::HeartbeatsBundle(std::int64_t capacity, LastAddedHeartbeatDates lastAddedHeartbeatDates)
    : HeartbeatsBundle(capacity, std::move(lastAddedHeartbeatDates), RingBuffer<Heartbeat>(capacity)) {}

HeartbeatsBundle::HeartbeatsBundle(std::int64_t capacity, LastAddedHeartbeatDates lastAddedHeartbeatDates,
                                   RingBuffer<Heartbeat> buffer)
    : capacity(capacity),
      lastAddedHeartbeatDates(std::move(lastAddedHeartbeatDates)),
      buffer(std::move(buffer)) {}

void HeartbeatsBundle::append(const Heartbeat& heartbeat) {
  if (capacity < 1) return;

  auto pushed = buffer.push(heartbeat);
  if (pushed) {
    if (const auto& replaced = *pushed) {
      for (auto& [period, date] : lastAddedHeartbeatDates) {
        if (date == replaced->date) date = platform::Date::distantPast();
      }
    }
    for (TimePeriod period : heartbeat.timePeriods) lastAddedHeartbeatDates[period] = heartbeat.date;
    return;
  }

  *this = HeartbeatsBundle(capacity);
  Heartbeat diagnostic{diagnosticAgent(heartbeat.agent, pushed.error()), heartbeat.date, 0,
                       heartbeat.timePeriods};
  if (buffer.push(diagnostic)) {
    for (TimePeriod period : diagnostic.timePeriods) lastAddedHeartbeatDates[period] = diagnostic.date;
  }
}

std::optional<Heartbeat> HeartbeatsBundle::removeHeartbeat(platform::Date date) {
  std::optional<Heartbeat> removed;
  std::vector<Heartbeat> passed;
  while (!buffer.circularQueue().empty()) {
    auto popped = buffer.pop();
    if (!popped) break;
    if (popped->date == date) {
      removed = std::move(popped);
      break;
    }
    passed.push_back(std::move(*popped));
  }
  // Back in the reverse order of popping, the last popped first.
  for (auto it = passed.rbegin(); it != passed.rend(); ++it) {
    (void)buffer.push(std::move(*it));
  }
  return removed;
}

HeartbeatsPayload HeartbeatsBundle::makePayload() const {
  std::map<std::string, std::vector<platform::Date>> datesByAgent;
  for (const Heartbeat& heartbeat : buffer.elements())
    datesByAgent[heartbeat.agent].push_back(heartbeat.date);

  HeartbeatsPayload payload;
  for (auto& [agent, dates] : datesByAgent) payload.userAgentPayloads.push_back({agent, std::move(dates)});
  return payload;
}

static_assert(HeartbeatsPayloadConvertible<HeartbeatsBundle>);

}  // namespace beacon
