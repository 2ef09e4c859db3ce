#pragma once
// The public form of the conditional-user-property controller, for the SDK's other components: it
// checks what they hand in on the caller's thread and leaves the work to the engine's controller on
// the worker queue. Events the stored properties produce there (a property active at once, a cleared
// active one) are written like any other event.
//
// Without a started engine there is nowhere to keep properties: the calls log and do nothing.
// Thread-safe; conditionalUserPropertiesWithNamePrefix waits for the worker queue, so it must not be
// called on it (it is refused there and answers nothing).

#include <optional>
#include <string>
#include <vector>

#include "measurement/engine/BMSEvent.h"
#include "measurement/storage/BCNAConditionalUserProperty.h"

namespace beacon {

class BCNAConditionalUserPropertyController {
 public:
  static BCNAConditionalUserPropertyController& sharedInstance();

  // Stores a copy of `property` under `name`, stamped with the current time, when its name, origin
  // and value are valid (refusals are logged).
  void setConditionalUserProperty(const BCNAConditionalUserProperty& property, const std::string& name);
  // Clears the property of a valid `name`; `clearEvent` is logged when it was active.
  void clearConditionalUserPropertyWithClearEvent(const std::optional<BMSEvent>& clearEvent,
                                                  const std::string& name);
  // The stored properties whose name begins with `prefix` and whose origin is `origin` (either may
  // be absent); nothing when there is no engine or the database fails.
  std::optional<std::vector<BCNAConditionalUserProperty>> conditionalUserPropertiesWithNamePrefix(
      const std::optional<std::string>& prefix, const std::optional<std::string>& origin);

 private:
  BCNAConditionalUserPropertyController() = default;
};

}  // namespace beacon
