#pragma once
// The engine's fixed name tables: public and internal event names, reserved user-property names,
// ecommerce events and their standard item parameters, conversion events and the public spellings of
// internal parameter names. Built once on first use, read-only afterwards; safe on any thread.

#include <map>
#include <string>
#include <string_view>

namespace beacon {

using BMSNameTable = std::map<std::string, std::string, std::less<>>;

// Public event name to internal short name ("session_start" -> "_s"); 32 pairs.
const BMSNameTable& BMSPublicToInternalEventNames();
// The inverse; "_cmp", which two public names share, maps back to "ca_campaign".
const BMSNameTable& BMSInternalToPublicEventNames();
// Reserved event names an app may still log: "ad_impression" only.
const BMSNameTable& BMSAllowedReservedEventNames();
// Reserved public user-property names to internal names ("user_id" -> "_id").
const BMSNameTable& BMSPublicToInternalUserPropertyNames();
// Public parameter names to internal ones ("beacon_screen" and "ca_screen" -> "_sn"); 54 pairs.
const BMSNameTable& BMSParameterNameAliases();

// The events allowed to carry an "items" array.
bool BMSIsEcommerceEventName(std::string_view name);
// Standard item parameters, not counted as an item's custom parameters.
bool BMSIsItemParameterName(std::string_view name);
// Events always marked as conversions.
bool BMSIsDefaultConversionEventName(std::string_view name);

}  // namespace beacon
