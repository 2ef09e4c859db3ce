#pragma once
// Builders of the small messages the message tests share.

#include <string>
#include <vector>

#include "measurement/messages/NANOAccessors.h"

namespace beacon::testing {

inline BMSPBEventParam intParam(const std::string& name, std::int64_t value) {
  BMSPBEventParam param;
  NANOSetString(param, EventParamField::kName, name);
  NANOSetInt64(param, EventParamField::kIntValue, value);
  return param;
}

inline BMSPBEventParam doubleParam(const std::string& name, double value) {
  BMSPBEventParam param;
  NANOSetString(param, EventParamField::kName, name);
  NANOSetDouble(param, EventParamField::kDoubleValue, value);
  return param;
}

// An "items" parameter: one unnamed element per item, holding that item's parameters.
inline BMSPBEventParam itemsParam(const std::vector<std::vector<BMSPBEventParam>>& items) {
  std::vector<BMSPBEventParam> elements;
  for (const auto& members : items) {
    BMSPBEventParam element;
    NANOSetArray(element, EventParamField::kParams, members);
    elements.push_back(element);
  }
  BMSPBEventParam param;
  NANOSetString(param, EventParamField::kName, "items");
  NANOSetArray(param, EventParamField::kParams, elements);
  return param;
}

inline BMSPBEvent event(const std::string& name, std::int64_t timestampMillis,
                        const std::vector<BMSPBEventParam>& params) {
  BMSPBEvent event;
  NANOSetString(event, EventField::kName, name);
  NANOSetInt64(event, EventField::kTimestampMillis, timestampMillis);
  NANOSetArray(event, EventField::kParams, params);
  return event;
}

}  // namespace beacon::testing
