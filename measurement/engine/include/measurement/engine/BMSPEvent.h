#pragma once
// The event as event-editing programs see it: a name, a timestamp in seconds since 1970, and plain
// parameters (numbers, strings, and "items" as an array of dictionaries). A plain value; one queue at a
// time.

#include <string>

#include "platform/value/Value.h"

namespace beacon {

class BMSPEvent {
 public:
  BMSPEvent(std::string name, double timestamp, platform::Dictionary parameters)
      : name_(std::move(name)), timestamp_(timestamp), parameters_(std::move(parameters)) {}

  const std::string& name() const { return name_; }
  double timestamp() const { return timestamp_; }
  const platform::Dictionary& parameters() const { return parameters_; }

 private:
  std::string name_;
  double timestamp_;
  platform::Dictionary parameters_;
};

}  // namespace beacon
