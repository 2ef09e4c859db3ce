#pragma once
// The analytics side of BCNAnalyticsInterop: hands what the SDK's other components ask for to the
// analytics interface, under the fixed allow and block lists of BCNConnectorUtils, so that no
// component can forge the application's own or the SDK's automatic data.
//
// The library registers once per process with BCNAnalyticsConnector::load() (before BCNApp::configure);
// every request of an app's container for the protocol then gets a new connector.
//
// Queues: query results and listener messages are prepared on the connector queue (one per process);
// listeners hear on the main queue. maxUserProperties blocks its caller and refuses the connector
// queue. The listener table is guarded by the connector's own lock.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "analytics-connector/BCNAnalyticsInterop.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "platform/dispatch/Queue.h"
#include "sdk-core/Object.h"

namespace beacon {

class BCNAnalyticsConnector final : public Object,
                                    public BCNAnalyticsInterop,
                                    public std::enable_shared_from_this<BCNAnalyticsConnector> {
 public:
  static constexpr const char* kLibraryName = "bcn-analytics";
  static constexpr const char* kLibraryVersion = "12.3.0";

  // Announces the library class and registers it with the SDK core.
  static void load();
  // The serial queue labelled "<vendor prefix>analytics_connector.queue".
  static platform::QueueRef queue();

  BCNAnalyticsConnector() = default;
  ~BCNAnalyticsConnector() override;

  void logEventWithOrigin(const std::string& origin, const std::string& name,
                          const platform::Dictionary& parameters) override;
  void setUserPropertyWithOrigin(const std::string& origin, const std::string& name,
                                 const platform::Value& value) override;
  void getUserPropertiesWithCallback(BCNAnalyticsUserPropertiesCallback callback) override;
  std::int64_t maxUserProperties(const std::string& origin) override;

  void setConditionalUserProperty(const platform::Dictionary& property) override;
  void clearConditionalUserProperty(const std::string& userPropertyName, const std::string& origin,
                                    const std::string& clearEventName,
                                    const platform::Dictionary& clearEventParameters) override;
  std::vector<platform::Dictionary> conditionalUserProperties(const std::string& origin,
                                                              const std::string& propertyNamePrefix) override;

  void registerAnalyticsListener(std::shared_ptr<BCNAnalyticsInteropListener> listener,
                                 const std::string& origin) override;
  void unregisterAnalyticsListenerWithOrigin(const std::string& origin) override;

 private:
  // Analytics queue: decides whether anyone hears the event and sends it on its way.
  void deliverLoggedEvent(const BMSEvent& event);
  // Main queue: the origin's listener, or for an application event without one, every listener.
  void sendMessage(const std::string& origin, const std::string& name,
                   const platform::Dictionary& parameters);

  std::mutex mutex_;
  std::optional<BMSLogEventListenerToken> logEventListener_;
  std::map<std::string, std::shared_ptr<BCNAnalyticsInteropListener>> listeners_;
};

}  // namespace beacon
