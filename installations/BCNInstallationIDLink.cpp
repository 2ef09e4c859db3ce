#include "installations/BCNInstallationIDLink.h"

#include <memory>

#include "installations/BCNInstallations.h"
#include "installations/BCNInstallationsErrorUtil.h"
#include "promises/CVPPromise.h"
#include "sdk-core/BCNApp.h"

namespace beacon {
namespace {

using SharedConsumer = std::shared_ptr<const BCNInstallationIDLink::Consumer>;

void ask(BCNInstallations& installations, const SharedConsumer& consumer) {
  installations.installationIDWithCompletion(
      [consumer](std::optional<std::string> installationID, std::optional<platform::Error> error) {
        (*consumer)(std::move(installationID), std::move(error));
      });
}

void askDefaultApp(const SharedConsumer& consumer) {
  std::shared_ptr<BCNApp> app = BCNApp::defaultAppIfConfigured();
  std::shared_ptr<BCNInstallations> installations =
      app ? BCNInstallations::installationsWithApp(*app) : nullptr;
  if (installations) return ask(*installations, consumer);
  // Deleted or reset since the start: the ID it had must no longer be reported.
  CVPPromiseClass::defaultDispatchQueue()->async([consumer] {
    (*consumer)(std::nullopt,
                BCNInstallationsErrorUtil::installationsErrorWithCode(
                    kBCNInstallationsErrorCodeUnknown, "The default app is not configured.", std::nullopt));
  });
}

}  // namespace

platform::ObserverToken BCNInstallationIDLink::follow(Consumer consumer) {
  auto shared = std::make_shared<const Consumer>(std::move(consumer));
  ask(*BCNInstallations::installations(), shared);
  return platform::NotificationCenter::defaultCenter().addObserver(
      kBCNInstallationIDDidChangeNotification, nullptr, nullptr,
      [shared](const platform::Notification&) { askDefaultApp(shared); });
}

}  // namespace beacon
