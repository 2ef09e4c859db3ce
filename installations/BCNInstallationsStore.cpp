#include "installations/BCNInstallationsStore.h"

#include "installations/BCNInstallationsErrorUtil.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {

BCNInstallationsStore::BCNInstallationsStore(std::shared_ptr<CVUKeychainStorage> secureStorage,
                                             std::optional<std::string> accessGroup)
    : secureStorage_(std::move(secureStorage)),
      accessGroup_(std::move(accessGroup)),
      queue_(platform::makeSerialQueue(vendorLabel("BCNInstallationsStore"))),
      userDefaults_(std::make_shared<CVUUserDefaults>(
          accessGroup_ && !accessGroup_->empty() ? *accessGroup_ : vendorLabel("BCNInstallations"))) {}

CVPPromise<BCNInstallationsItem> BCNInstallationsStore::installationForAppID(const std::string& appID,
                                                                             const std::string& appName) {
  std::string identifier = BCNInstallationsItem::identifierWithAppID(appID, appName);
  auto storage = secureStorage_;
  auto accessGroup = accessGroup_;
  return installationExistsForAppID(appID, appName)
      .then([storage, identifier, accessGroup](const CVPUnit&) {
        return storage->getObjectForKey<BCNInstallationsStoredItem>(identifier, accessGroup);
      })
      .then([appID, appName](const std::shared_ptr<const BCNInstallationsStoredItem>& stored)
                -> CVPOutcome<BCNInstallationsItem> {
        if (!stored) return BCNInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName);
        BCNInstallationsItem item(appID, appName);
        item.updateWithStoredItem(*stored);
        return item;
      });
}

CVPPromise<CVPUnit> BCNInstallationsStore::saveInstallation(const BCNInstallationsItem& installation) {
  std::string identifier = installation.identifier();
  auto stored = std::make_shared<const BCNInstallationsStoredItem>(installation.storedItem());
  auto queue = queue_;
  auto defaults = userDefaults_;
  return secureStorage_->setObject(stored, identifier, accessGroup_)
      .then([queue, defaults, identifier](const CVPUnit&) {
        return writeFlag(queue, defaults, true, identifier);
      });
}

CVPPromise<CVPUnit> BCNInstallationsStore::removeInstallationForAppID(const std::string& appID,
                                                                      const std::string& appName) {
  std::string identifier = BCNInstallationsItem::identifierWithAppID(appID, appName);
  auto queue = queue_;
  auto defaults = userDefaults_;
  return secureStorage_->removeObjectForKey(identifier, accessGroup_)
      .then([queue, defaults, identifier](const CVPUnit&) {
        return writeFlag(queue, defaults, false, identifier);
      });
}

CVPPromise<CVPUnit> BCNInstallationsStore::installationExistsForAppID(const std::string& appID,
                                                                      const std::string& appName) {
  std::string identifier = BCNInstallationsItem::identifierWithAppID(appID, appName);
  auto defaults = userDefaults_;
  return CVPPromise<CVPUnit>::doWork(queue_, [defaults, identifier, appID, appName]() -> CVPOutcome<CVPUnit> {
    if (defaults->objectForKey(identifier)) return CVPUnit{};
    return BCNInstallationsErrorUtil::installationItemNotFoundForAppID(appID, appName);
  });
}

CVPPromise<CVPUnit> BCNInstallationsStore::setInstallationExists(bool exists, const std::string& identifier) {
  return writeFlag(queue_, userDefaults_, exists, identifier);
}

CVPPromise<CVPUnit> BCNInstallationsStore::writeFlag(const platform::QueueRef& queue,
                                                     const std::shared_ptr<CVUUserDefaults>& defaults,
                                                     bool exists, const std::string& identifier) {
  return CVPPromise<CVPUnit>::doWork(queue, [defaults, exists, identifier] {
    if (exists) {
      defaults->setBool(true, identifier);
    } else {
      defaults->removeObjectForKey(identifier);
    }
  });
}

}  // namespace beacon
