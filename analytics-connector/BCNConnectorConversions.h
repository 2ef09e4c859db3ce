#pragma once
// The connector's conversions between the plain dictionaries of the interop interface and the
// engine's events and conditional user properties. Any thread; times come from the analytics clock.

#include <optional>
#include <string>

#include "measurement/engine/BMSEvent.h"
#include "measurement/storage/BCNAConditionalUserProperty.h"
#include "platform/value/Value.h"

namespace beacon {

// A non-public event of the entries "origin", "name", "timestamp" (seconds since 1970; now when it is
// not a number) and "parameters"; nothing when the event is not valid.
std::optional<BMSEvent> BCNConnectorEventFromDictionary(const platform::Dictionary& dictionary);
// A non-public event stamped now.
std::optional<BMSEvent> BCNConnectorEventWithOrigin(const std::string& origin, const std::string& name,
                                                    const platform::Dictionary& parameters);
// Numbers and strings of the parameters; items are dropped.
platform::Dictionary BCNConnectorSimplifiedParameters(const BMSEventParameters& parameters);
// A property filled key by key; keys it does not know, and values of a kind a key cannot take, are
// logged (25060) and left out.
BCNAConditionalUserProperty BCNConnectorConditionalUserProperty(const platform::Dictionary& dictionary);

}  // namespace beacon
