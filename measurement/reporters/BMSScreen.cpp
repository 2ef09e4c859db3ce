#include "measurement/reporters/BMSScreen.h"

namespace beacon {

BMSParameters BMSScreen::parameters() const {
  BMSParameters parameters{{kBMSScreenInstanceIDParameter, BMSValue::initWithInt64(instanceID)}};
  if (className && !className->empty()) {
    parameters.emplace(kBMSScreenClassParameter, BMSValue::initWithStringValue(*className));
  }
  if (name && !name->empty())
    parameters.emplace(kBMSScreenNameParameter, BMSValue::initWithStringValue(*name));
  return parameters;
}

}  // namespace beacon
