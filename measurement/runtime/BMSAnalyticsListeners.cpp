// The facade's log-event interceptor and listeners, and its identity queries.

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSAnalyticsState.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSConsentSettingsUtil.h"

namespace beacon {
namespace {

// Listener and interceptor state is touched only on the analytics queue: inline when already there.
void onSerialQueueOrQueued(std::function<void()> block) {
  if (BMSAnalytics::isCurrentQueueSerialQueue()) {
    block();
  } else {
    BMSAnalytics::queueOperationWithBlock(std::move(block));
  }
}

}  // namespace

void BMSAnalytics::setLogEventInterceptor(BMSLogEventInterceptor interceptor) {
  onSerialQueueOrQueued([interceptor = std::move(interceptor)] {
    currentFacade().interceptor =
        interceptor ? std::optional<BMSLogEventInterceptor>(interceptor) : std::nullopt;
  });
}

std::optional<BMSLogEventInterceptor> BMSAnalytics::logEventInterceptor() {
  return currentFacade().interceptor;
}

std::optional<BMSLogEventListenerToken> BMSAnalytics::addLogEventListener(BMSLogEventListener listener) {
  if (!listener) {
    BMSLog(2, 25012, "Attempted addition of nil log event listener.");
    return std::nullopt;
  }
  const BMSLogEventListenerToken token{currentFacade().nextListenerToken.fetch_add(1)};
  // Counted before it is queued, so an event told after this call is queued for it.
  currentFacade().listenerCount.fetch_add(1);
  onSerialQueueOrQueued([token, listener = std::move(listener)] {
    BMSAnalyticsState& state = currentFacade();
    if (!state.listeners) state.listeners.emplace();
    state.listeners->emplace(token.value, listener);
  });
  return token;
}

void BMSAnalytics::removeLogEventListener(std::optional<BMSLogEventListenerToken> token) {
  if (!token) {
    BMSLog(2, 25013, "Attempted removal of nil log event.");
    return;
  }
  queueOperationWithBlock([token = *token] {
    BMSAnalyticsState& state = currentFacade();
    if (!state.listeners) {
      BMSLog(2, 25014, "Attempted removal of nil log event listener.");
    } else if (state.listeners->erase(token.value) == 0) {
      BMSLog(2, 25015, "Attempted removal of log event listener with invalid token.");
    } else {
      state.listenerCount.fetch_sub(1);
    }
  });
}

bool BMSAnalytics::hasLogEventListeners() {
  return currentFacade().listenerCount.load() != 0;
}

void BMSAnalytics::notifyEventListeners(const BMSEvent& event) {
  // Without listeners the operation would find none: it is not queued (one hop through two queues
  // less per event).
  if (!hasLogEventListeners()) return;
  queueOperationWithBlock([event] { notifyEventListenersOnSerialQueue(event); });
}

void BMSAnalytics::notifyEventListenersOnSerialQueue(const BMSEvent& event) {
  BMSAnalyticsState& state = currentFacade();
  if (!state.listeners) return;
  // A listener may add or remove listeners; it works on a copy of the table as it stood.
  const std::map<std::uint64_t, BMSLogEventListener> listeners = *state.listeners;
  for (const auto& [token, listener] : listeners) listener(event);
}

std::optional<std::string> BMSAnalytics::appInstanceID() {
  if (BMSConsentSettingsUtil::isAnalyticsStorageDenied()) return std::nullopt;
  if (std::optional<std::string> afterReset = appInstanceIDAfterReset(); afterReset && !afterReset->empty()) {
    return afterReset;
  }
  const std::shared_ptr<BMSIdentity> identity = BMSIdentity::shared();
  return identity ? identity->appInstanceID() : std::nullopt;
}

void BMSAnalyticsInstance::maxUserPropertiesForOrigin(const std::string& origin, platform::QueueRef queue,
                                                      std::function<void(std::int64_t)> callback) const {
  if (origin.empty()) {
    BMSLog(2, 25009, "Cannot query Analytics for max user properties. Origin must be a non-empty string");
    return;
  }
  if (!queue) {
    BMSLog(2, 25010, "Cannot query Analytics for max user properties. Queue cannot be nil. Origin", {origin});
    return;
  }
  if (!callback) {
    BMSLog(2, 25011,
           "Cannot query Analytics for max user properties. MaxUserProperties callback cannot be nil. Origin",
           {origin});
    return;
  }
  BMSAnalytics::queueOperationWithBlock([origin, queue = std::move(queue), callback = std::move(callback)] {
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    if (!engine) return;
    engine->maxUserPropertiesForOrigin(origin, [queue, callback](std::int64_t maximum) {
      queue->async([callback, maximum] { callback(maximum); });
    });
  });
}

}  // namespace beacon
