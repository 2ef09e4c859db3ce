#pragma once
// Reading back what the pipeline put into a measurement bundle.

#include <string>
#include <vector>

#include "measurement/messages/NANOAccessors.h"

namespace beacon::testing {

// The names of the bundle's user attributes, in their order.
inline std::vector<std::string> attributeNames(const BMSPBMeasurementBundle& bundle) {
  std::vector<std::string> names;
  for (const auto& attribute :
       NANOGetArray<BMSPBUserAttribute>(bundle, MeasurementBundleField::kUserAttributes))
    names.push_back(NANOGetString(attribute, UserAttributeField::kName).value_or(""));
  return names;
}

}  // namespace beacon::testing
