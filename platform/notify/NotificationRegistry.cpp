#include "platform/notify/NotificationRegistry.h"

#include <algorithm>

namespace platform::detail {

void NotificationRegistry::add(std::shared_ptr<NotificationObserver> observer) {
  std::lock_guard lock(mutex_);
  byName_[observer->name].push_back(std::move(observer));
}

void NotificationRegistry::remove(const NotificationObserver& observer) {
  std::lock_guard lock(mutex_);
  auto named = byName_.find(observer.name);
  if (named == byName_.end()) return;
  std::erase_if(named->second, [&](const auto& candidate) { return candidate.get() == &observer; });
  if (named->second.empty()) byName_.erase(named);
}

std::vector<std::shared_ptr<NotificationObserver>> NotificationRegistry::matching(const std::string& name,
                                                                                  ObjectTag sender) const {
  std::vector<std::shared_ptr<NotificationObserver>> result;
  std::lock_guard lock(mutex_);
  auto named = byName_.find(name);
  if (named == byName_.end()) return result;
  std::copy_if(
      named->second.begin(), named->second.end(), std::back_inserter(result),
      [&](const auto& observer) { return observer->sender == nullptr || observer->sender == sender; });
  return result;
}

}  // namespace platform::detail
