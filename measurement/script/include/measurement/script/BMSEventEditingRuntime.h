#pragma once
// The event-editing runtime: a program that the downloaded configuration may carry, run over each
// event on the engine's worker queue before the event is written. After handleEvent() the runtime
// tells whether it edited the event, whether the program created further events, and hands both out
// through its context.
//
// This build runs no programs: runtimeVersion() is 0, which tells the configuration service not to
// send any, and no configuration yields a runtime (the engine then writes every event unedited and
// creates none). The interface stays so the pipeline keeps one road for edited and unedited events.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "measurement/engine/BMSPEvent.h"

namespace beacon {

// What the last handleEvent() left: the edited event, and the events the program asked to log (a
// created event's parameter "_o" names its origin).
struct BMSEventEditingContext {
  std::optional<BMSPEvent> outputEvent;
  std::vector<BMSPEvent> eventsToLog;
};

class BMSEventEditingRuntime {
 public:
  virtual ~BMSEventEditingRuntime() = default;
  // Runs the program over one event. False, with `error` set to a readable reason, when the program
  // failed; the context is then not to be used.
  virtual bool handleEvent(const BMSPEvent& event, std::string& error) = 0;
  virtual bool hasEdits() const = 0;
  virtual bool hasCreatedEvents() const = 0;
  virtual const BMSEventEditingContext& eventContext() const = 0;
};

class BMSPRuntime {
 public:
  // Sent as "runtime_version" with configuration fetches; 0 = no program can run here.
  static constexpr std::int64_t kNoRuntimeVersion = 0;
  static std::int64_t runtimeVersion();
};

}  // namespace beacon
