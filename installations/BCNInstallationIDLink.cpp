#include "installations/BCNInstallationIDLink.h"

#include <memory>

#include "installations/BCNInstallations.h"
#include "installations/BCNInstallationsErrorUtil.h"
#include "promises/CVPPromise.h"
#include "sdk-core/BCNApp.h"

namespace beacon {
namespace {

using SharedConsumer = std::shared_ptr<const BCNInstallationIDLink::Consumer>;

// The consumer hears of an ID that cannot be had: no ID, and why.
void tellNoID(const SharedConsumer& consumer, const char* reason) {
  CVPPromiseClass::defaultDispatchQueue()->async([consumer, reason] {
    (*consumer)(std::nullopt, BCNInstallationsErrorUtil::installationsErrorWithCode(
                                  kBCNInstallationsErrorCodeUnknown, reason, std::nullopt));
  });
}

void ask(const std::shared_ptr<BCNInstallations>& installations, const SharedConsumer& consumer) {
  if (!installations) return tellNoID(consumer, "The installations library is not registered.");
  installations->installationIDWithCompletion(
      [consumer](std::optional<std::string> installationID, std::optional<platform::Error> error) {
        (*consumer)(std::move(installationID), std::move(error));
      });
}

void askDefaultApp(const SharedConsumer& consumer) {
  std::shared_ptr<BCNApp> app = BCNApp::defaultAppIfConfigured();
  // Deleted or reset since the start: the ID it had must no longer be reported.
  if (!app) return tellNoID(consumer, "The default app is not configured.");
  ask(BCNInstallations::installationsWithApp(*app), consumer);
}

}  // namespace

platform::ObserverToken BCNInstallationIDLink::follow(Consumer consumer) {
  auto shared = std::make_shared<const Consumer>(std::move(consumer));
  ask(BCNInstallations::installations(), shared);
  return platform::NotificationCenter::defaultCenter().addObserver(
      kBCNInstallationIDDidChangeNotification, nullptr, nullptr,
      [shared](const platform::Notification&) { askDefaultApp(shared); });
}

}  // namespace beacon
