#pragma once
// Keeps one installation record per app across launches: the record in the keychain (through
// CVUKeychainStorage, under its identifier) and beside it an existence flag in a preferences suite.
// A record counts only when its flag exists, so a keychain item left behind without its flag (after
// the app was removed and installed again, or a partial delete) reads as absent.
//
// Flags are read and written on the serial queue "com.corvane.BCNInstallationsStore"; keychain work
// runs on the keychain storage's queues. Results arrive as promises on the default promise queue.

#include <memory>
#include <optional>
#include <string>

#include "installations/BCNInstallationsItem.h"
#include "installations/CVUKeychainStorage.h"
#include "platform/dispatch/Queue.h"
#include "promises/CVPPromise.h"
#include "sdk-utilities/userdefaults/CVUUserDefaults.h"

namespace beacon {

class BCNInstallationsStore {
 public:
  // The flags' suite is the access group, or "com.corvane.BCNInstallations" without one.
  BCNInstallationsStore(std::shared_ptr<CVUKeychainStorage> secureStorage,
                        std::optional<std::string> accessGroup);

  // The stored record, or the not-found error when its flag or its keychain item is missing.
  CVPPromise<BCNInstallationsItem> installationForAppID(const std::string& appID, const std::string& appName);
  // Keychain first, then the flag; a keychain failure leaves the flag as it was.
  CVPPromise<CVPUnit> saveInstallation(const BCNInstallationsItem& installation);
  CVPPromise<CVPUnit> removeInstallationForAppID(const std::string& appID, const std::string& appName);
  // Fulfils when the flag exists, fails with the not-found error otherwise.
  CVPPromise<CVPUnit> installationExistsForAppID(const std::string& appID, const std::string& appName);
  CVPPromise<CVPUnit> setInstallationExists(bool exists, const std::string& identifier);

 private:
  // Steps of a chain keep what they use, so they may outlive the store.
  static CVPPromise<CVPUnit> writeFlag(const platform::QueueRef& queue,
                                       const std::shared_ptr<CVUUserDefaults>& defaults, bool exists,
                                       const std::string& identifier);

  const std::shared_ptr<CVUKeychainStorage> secureStorage_;
  const std::optional<std::string> accessGroup_;
  const platform::QueueRef queue_;
  const std::shared_ptr<CVUUserDefaults> userDefaults_;
};

}  // namespace beacon
