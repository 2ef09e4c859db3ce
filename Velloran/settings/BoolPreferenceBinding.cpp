#include "Velloran/settings/BoolPreferenceBinding.h"

namespace velloran {

BoolPreferenceBinding::BoolPreferenceBinding(std::shared_ptr<platform::PreferencesDomain> domain,
                                             std::string key, bool defaultValue,
                                             std::function<void(bool)> onChange)
    : domain_(std::move(domain)),
      key_(std::move(key)),
      defaultValue_(defaultValue),
      onChange_(std::move(onChange)) {
  lastSeen_ = value();
  // Heard synchronously: the reaction belongs to the same turn as the write, as a bound control
  // expects. The token ends the observation before the binding's members go.
  observation_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kPreferencesDidChangeNotification, domain_.get(), nullptr,
      [this](const platform::Notification&) { domainChanged(); });
}

bool BoolPreferenceBinding::value() const {
  if (!domain_->objectForKey(key_)) return defaultValue_;
  return domain_->boolForKey(key_);
}

void BoolPreferenceBinding::setValue(bool value) {
  // A Boolean always has a property-list form; a failed disk write stays pending in the domain.
  (void)domain_->setObject(key_, platform::Value(value));
}

void BoolPreferenceBinding::domainChanged() {
  const bool now = value();
  if (now == lastSeen_) return;
  lastSeen_ = now;
  if (onChange_) onChange_(now);
}

}  // namespace velloran
