#pragma once
// Small event tests used along the write path: error and subscription events, item counts, screen
// parameters and public names. Pure apart from their log lines; safe on any thread.

#include <cstdint>
#include <string_view>

#include "measurement/engine/BMSValue.h"

namespace beacon {

class BMSEvent;

// The name is "_err"; an empty name logs 18004 and answers false.
bool BMSIsErrorEvent(const BMSEvent& event);
bool BMSIsNotErrorEvent(std::string_view name);
// "_assc", "_assr", or "_iap" whose "subscription" is int64 1.
bool BMSIsSubscriptionEvent(const BMSEvent& event);
// The elements of all array parameters together; 0 without an event.
std::int64_t BMSEventItemCount(const BMSEvent* event);
// Holds "_si", "_sc" or "_sn".
bool BMSHasScreenParameters(const BMSParameters& parameters);
// Those of "_sn", "_sc", "_si" that are present.
BMSParameters BMSScreenParameters(const BMSParameters& parameters);
// A non-empty string not beginning with "_"; a non-string logs 18002, an empty string 18003.
bool BMSIsPublicName(const BMSObject& name);
// The same test on a text, without log lines.
bool BMSIsPublicNameText(std::string_view name);

}  // namespace beacon
