#include "measurement/engine/BMSUserDefaults.h"

namespace beacon {

std::shared_ptr<BMSUserDefaults> BMSUserDefaults::sharedUserDefaults() {
  static const std::shared_ptr<BMSUserDefaults> shared(
      new BMSUserDefaults(CVUUserDefaults::standardUserDefaults()));
  return shared;
}

BMSUserDefaults::BMSUserDefaults(std::string suiteName)
    : store_(std::make_shared<CVUUserDefaults>(std::optional<std::string>(std::move(suiteName)))) {}

std::optional<platform::Array> BMSUserDefaults::arrayForKey(std::string_view key) const {
  std::optional<platform::Value> value = store_->objectForKey(key);
  if (!value || !value->isArray()) return std::nullopt;
  return *value->asArray();
}

}  // namespace beacon
