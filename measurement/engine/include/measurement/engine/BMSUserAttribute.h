#pragma once
// The engine's user-property record: who set it (origin), its name, its value and when it was last set
// (seconds since 1970). Immutable after creation; may be read from any queue.

#include <optional>
#include <string>

#include "measurement/engine/BMSValue.h"
#include "measurement/messages/NANOMessage.h"

namespace beacon {

class BMSUserAttribute {
 public:
  // Nothing unless the name is a valid internal user-property name and the value a valid value for it
  // (the checks log their refusals).
  static std::optional<BMSUserAttribute> initWithOrigin(const std::string& origin, const std::string& name,
                                                        const BMSValue& value, double lastSetTimestamp);

  const std::string& origin() const { return origin_; }
  const std::string& name() const { return name_; }
  const BMSValue& value() const { return value_; }
  double lastSetTimestamp() const { return lastSetTimestamp_; }
  // The name is non-empty and does not begin with "_".
  bool isPublic() const;
  // Name, value by kind (an array writes none) and the set time in milliseconds, truncated.
  BMSPBUserAttribute protoUserAttribute() const;
  // Every member the same, doubles bit for bit (0 and -0 write different bytes); an array value
  // compares as BMSValue does.
  bool isIdenticalTo(const BMSUserAttribute& other) const;

 private:
  BMSUserAttribute(std::string origin, std::string name, BMSValue value, double lastSetTimestamp)
      : origin_(std::move(origin)),
        name_(std::move(name)),
        value_(std::move(value)),
        lastSetTimestamp_(lastSetTimestamp) {}

  std::string origin_;
  std::string name_;
  BMSValue value_;
  double lastSetTimestamp_;
};

}  // namespace beacon
