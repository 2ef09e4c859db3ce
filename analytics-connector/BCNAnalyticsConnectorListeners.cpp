// The connector's listeners: one log-event listener of the analytics interface serves every
// listener the SDK's other components register with this connector.

#include "analytics-api/BCNAnalytics.h"
#include "analytics-connector/BCNAnalyticsConnector.h"
#include "analytics-connector/BCNConnectorConversions.h"
#include "analytics-connector/BCNConnectorUtils.h"
#include "platform/dispatch/Queue.h"

namespace beacon {

BCNAnalyticsConnector::~BCNAnalyticsConnector() {
  // The analytics interface would otherwise keep a listener that can no longer reach anyone.
  if (logEventListener_) BCNAnalytics::removeLogEventListener(logEventListener_);
}

void BCNAnalyticsConnector::registerAnalyticsListener(std::shared_ptr<BCNAnalyticsInteropListener> listener,
                                                      const std::string& origin) {
  if (!listener || !BCNConnectorUtils::isListenerOriginAllowed(origin)) return;
  std::lock_guard lock(mutex_);
  if (!logEventListener_) {
    logEventListener_ =
        BCNAnalytics::addLogEventListener([weakSelf = weak_from_this()](const BMSEvent& event) {
          if (const std::shared_ptr<BCNAnalyticsConnector> self = weakSelf.lock())
            self->deliverLoggedEvent(event);
        });
  }
  listeners_[origin] = std::move(listener);
}

void BCNAnalyticsConnector::unregisterAnalyticsListenerWithOrigin(const std::string& origin) {
  std::lock_guard lock(mutex_);
  listeners_.erase(origin);
  if (!listeners_.empty() || !logEventListener_) return;
  BCNAnalytics::removeLogEventListener(logEventListener_);
  logEventListener_.reset();
}

void BCNAnalyticsConnector::deliverLoggedEvent(const BMSEvent& event) {
  if (!BCNConnectorUtils::isEventNameAllowedForListeners(event.name())) return;
  {
    std::lock_guard lock(mutex_);
    if (!listeners_.contains(event.origin()) && !BCNConnectorUtils::isAppOrigin(event.origin())) return;
  }
  queue()->async([weakSelf = weak_from_this(), event] {
    platform::mainQueue()->async([weakSelf, origin = event.origin(), name = event.name(),
                                  parameters = BCNConnectorSimplifiedParameters(event.parameters())] {
      if (const std::shared_ptr<BCNAnalyticsConnector> self = weakSelf.lock())
        self->sendMessage(origin, name, parameters);
    });
  });
}

void BCNAnalyticsConnector::sendMessage(const std::string& origin, const std::string& name,
                                        const platform::Dictionary& parameters) {
  std::vector<std::shared_ptr<BCNAnalyticsInteropListener>> recipients;
  {
    std::lock_guard lock(mutex_);
    if (const auto own = listeners_.find(origin); own != listeners_.end()) {
      recipients.push_back(own->second);
    } else if (BCNConnectorUtils::isAppOrigin(origin)) {
      for (const auto& [listenerOrigin, listener] : listeners_) recipients.push_back(listener);
    }
  }
  // Outside the lock: a listener may register or unregister in turn.
  for (const auto& listener : recipients) listener->messageTriggered(name, parameters);
}

}  // namespace beacon
