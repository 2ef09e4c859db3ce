#pragma once
// Shared by the fuzz targets that read values: NaN never equals itself, so a value holding one
// cannot be compared after a round trip; only the absence of a crash is checked for it.

#include <cmath>

#include "platform/value/Value.h"

namespace velloran::fuzz {

inline bool holdsNaN(const platform::Value& value) {
  if (const double* number = value.asDouble()) return std::isnan(*number);
  if (const platform::Date* date = value.asDate()) return std::isnan(date->secondsSinceReferenceDate);
  if (const platform::Array* array = value.asArray()) {
    for (const platform::Value& member : *array)
      if (holdsNaN(member)) return true;
  }
  if (const platform::Dictionary* dictionary = value.asDictionary()) {
    for (const auto& [key, member] : *dictionary)
      if (holdsNaN(member)) return true;
  }
  return false;
}

}  // namespace velloran::fuzz
