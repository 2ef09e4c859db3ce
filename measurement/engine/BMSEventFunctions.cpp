#include "measurement/engine/BMSEventFunctions.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"

namespace beacon {

bool BMSIsErrorEvent(const BMSEvent& event) {
  if (event.name().empty()) {
    BMSLog(2, 18004, "Cannot check the event name. Name is empty");
    return false;
  }
  return event.name() == kErrorEventName;
}

bool BMSIsNotErrorEvent(std::string_view name) {
  return name != kErrorEventName;
}

bool BMSIsSubscriptionEvent(const BMSEvent& event) {
  if (event.name() == "_assc" || event.name() == "_assr") return true;
  if (event.name() != "_iap") return false;
  auto subscription = event.parameters().find("subscription");
  return subscription != event.parameters().end() && subscription->second.isInt64() &&
         subscription->second.int64Value() == 1;
}

std::int64_t BMSEventItemCount(const BMSEvent* event) {
  if (!event) return 0;
  std::int64_t count = 0;
  for (const auto& entry : event->parameters()) {
    if (const BMSValueItems* items = entry.second.arrayValue())
      count += static_cast<std::int64_t>(items->elements.size());
  }
  return count;
}

bool BMSHasScreenParameters(const BMSParameters& parameters) {
  return parameters.contains("_si") || parameters.contains("_sc") || parameters.contains("_sn");
}

BMSParameters BMSScreenParameters(const BMSParameters& parameters) {
  BMSParameters screen;
  for (const char* key : {"_sn", "_sc", "_si"}) {
    auto found = parameters.find(key);
    if (found != parameters.end()) screen.emplace(found->first, found->second);
  }
  return screen;
}

bool BMSIsPublicName(const BMSObject& name) {
  const auto* plain = std::get_if<platform::Value>(&name);
  const std::string* text = plain ? plain->asString() : nullptr;
  if (!text) {
    BMSLog(2, 18002, "Cannot check the name. Name is not a string");
    return false;
  }
  if (text->empty()) {
    BMSLog(2, 18003, "Cannot check the name. Name is empty");
    return false;
  }
  return BMSIsPublicNameText(*text);
}

bool BMSIsPublicNameText(std::string_view name) {
  return !name.empty() && name.front() != '_';
}

}  // namespace beacon
