#pragma once
// Test support for the installations client: a fresh user with a main bundle, a file keychain of
// its own as the shared keychain (never the user's real one), a deterministic dispatch backend whose
// serial queue is the promises' default queue, and a recorder of the ID-change notifications.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/BCNInstallationsIDController.h"
#include "installations/BCNInstallationsIIDStore.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/keychain/FileKeychain.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/time/ManualClock.h"
#include "promises/CVPPromise.h"

namespace beacon::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.installations-tests";
inline constexpr const char* kTestAppID = "1:123456789012:ios:0123456789abcdef";
// Well formed: 39 characters, starting with "A", URL-safe Base64 only.
inline constexpr const char* kTestAPIKey = "AVelloranTestKeyForInstallations0000000";

// For tests on the threaded backend: pumps the main queue until every promise has settled and every
// promise callback has run, so that no operation a test started (a registration started by itself,
// say) outlives the test and reaches the next one's server or fixture.
inline void finishPromiseWork() {
  platform::runUntil([] { return CVPPromiseClass::dispatchGroup().wait(std::chrono::nanoseconds(0)); },
                     std::chrono::seconds(20));
}

// The reason of the programmer error `body` raises in the installations error domain, or
// "(nothing raised)".
inline std::string raisedInstallationsReason(const std::function<void()>& body) {
  try {
    body();
  } catch (const platform::ProgrammerError& error) {
    EXPECT_EQ(error.name(), kBCNInstallationsErrorDomain);
    return error.reason();
  }
  return "(nothing raised)";
}

// The shared keychain, able to refuse writes on demand as a full disk or a locked keyring would.
class ScriptedKeychain final : public platform::Keychain {
 public:
  explicit ScriptedKeychain(std::filesystem::path file) : file_(std::move(file)) {}

  platform::KeychainCopyResult copyMatching(const platform::KeychainQuery& query) override {
    return file_.copyMatching(query);
  }
  platform::KeychainStatus add(const platform::KeychainQuery& attributes,
                               const platform::Bytes& data) override {
    return refuseWrites ? platform::kKeychainIOFailure : file_.add(attributes, data);
  }
  platform::KeychainStatus update(const platform::KeychainQuery& query,
                                  const platform::Bytes& data) override {
    return refuseWrites ? platform::kKeychainIOFailure : file_.update(query, data);
  }
  platform::KeychainStatus remove(const platform::KeychainQuery& query) override {
    if (refuseKeyRemovals && query.itemClass == platform::KeychainItemClass::Key)
      return platform::kKeychainIOFailure;
    return file_.remove(query);
  }

  platform::Result<std::optional<std::filesystem::path>> setAsideDamagedStore() override {
    return file_.setAsideDamagedStore();
  }
  platform::Result<std::optional<std::filesystem::path>> setAsideDamagedItem(
      const platform::KeychainQuery& query) override {
    return keepsNothingAside ? Keychain::setAsideDamagedItem(query) : file_.setAsideDamagedItem(query);
  }

  bool refuseWrites = false;
  // Items stay where they are, as in the desktop's keyring, which has no place to keep one aside.
  bool keepsNothingAside = false;
  // Key items (the legacy key pair) stay, as a keyring that refuses to let them go would keep them.
  bool refuseKeyRemovals = false;

 private:
  platform::FileKeychain file_;
};

// Every "BCNInstallationIDDidChangeNotification" posted while it lives.
class IDChangeRecorder {
 public:
  IDChangeRecorder()
      : token_(platform::NotificationCenter::defaultCenter().addObserver(
            kBCNInstallationIDDidChangeNotification, nullptr, nullptr,
            [this](const platform::Notification& note) {
              std::lock_guard guard(mutex_);
              std::string appName = "(none)";
              if (note.userInfo) {
                auto found = note.userInfo->find(kBCNInstallationIDDidChangeNotificationAppNameKey);
                if (found != note.userInfo->end() && found->second.asString())
                  appName = *found->second.asString();
              }
              appNames_.push_back(std::move(appName));
            })) {}

  std::vector<std::string> appNames() const {
    std::lock_guard guard(mutex_);
    return appNames_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> appNames_;
  platform::ObserverToken token_;
};

// The legacy identity an earlier instance-ID library left: its marker file, its RSA key pair and,
// when given, its default token archived under the earlier class name.
struct LegacyTokenInfo : platform::KeyedCodable {
  std::optional<std::string> token;
  std::string archivedClassName() const override { return "BCNInstanceIDTokenInfo"; }
  void encodeWithCoder(platform::KeyedEncoder& coder) const override { coder.encodeString("token", token); }
};

inline const platform::Bytes kLegacyPublicKey{0x30, 0x82, 0x01, 0x0a, 0x02, 0x82, 0x01, 0x01, 0x00, 0xc1};

inline platform::KeychainQuery legacyKeyQuery(bool publicKey) {
  platform::KeychainQuery query;
  query.itemClass = platform::KeychainItemClass::Key;
  query.applicationTag = BCNInstallationsIIDStore::keyTag(publicKey);
  query.keyType = platform::kKeychainKeyTypeRSA;
  return query;
}

inline void writeLegacyMarker(const platform::Value& contents) {
  std::filesystem::path marker = *BCNInstallationsIIDStore::markerFilePath();
  std::filesystem::create_directories(marker.parent_path());
  platform::testing::writePropertyListFile(marker, contents);
}

inline void addLegacyKeys(platform::Keychain& keychain) {
  ASSERT_EQ(keychain.add(legacyKeyQuery(true), kLegacyPublicKey), platform::kKeychainSuccess);
  ASSERT_EQ(keychain.add(legacyKeyQuery(false), platform::Bytes{9, 9}), platform::kKeychainSuccess);
}

inline void addLegacyToken(platform::Keychain& keychain, std::optional<std::string> token) {
  LegacyTokenInfo info;
  info.token = std::move(token);
  platform::KeychainQuery query;
  std::string generic = "com.corvane.iid-tokens";
  query.generic = platform::Bytes(generic.begin(), generic.end());
  query.account = kTestBundleIdentifier;
  query.service = "123456789012:*";
  ASSERT_EQ(keychain.add(query, *platform::archivedData(info)), platform::kKeychainSuccess);
}

// Answers each kind of call from its own script (an HTTP status, or success), recording the calls.
class ScriptedAPIService final : public BCNInstallationsAPIServiceProtocol {
 public:
  explicit ScriptedAPIService(platform::ManualClock& clock) : clock_(clock) {}

  CVPPromise<BCNInstallationsItem> registerInstallation(const BCNInstallationsItem& installation) override {
    registered.push_back(installation);
    if (long status = next(registerScript)) return failure(status);
    BCNInstallationsItem result(installation.appID(), installation.beaconAppName());
    result.beaconInstallationID = serverChosenID.value_or(*installation.beaconInstallationID);
    result.refreshToken = "refresh-" + std::to_string(registered.size());
    result.authToken = token(tokenLifetime);
    result.registrationStatus = kBCNInstallationsRegistrationStatusRegistered;
    return CVPPromise<BCNInstallationsItem>::resolvedWith(result);
  }
  CVPPromise<BCNInstallationsItem> refreshAuthTokenForInstallation(
      const BCNInstallationsItem& installation) override {
    refreshed.push_back(installation);
    if (long status = next(refreshScript)) return failure(status);
    BCNInstallationsItem result = installation;
    result.authToken = token(3600);
    return CVPPromise<BCNInstallationsItem>::resolvedWith(result);
  }
  CVPPromise<BCNInstallationsItem> deleteInstallation(const BCNInstallationsItem& installation) override {
    deleted.push_back(installation);
    if (long status = next(deleteScript)) return failure(status);
    return CVPPromise<BCNInstallationsItem>::resolvedWith(installation);
  }

  // 0 answers with success; an empty script answers with success too.
  std::deque<long> registerScript, refreshScript, deleteScript;
  std::optional<std::string> serverChosenID;
  double tokenLifetime = 604800;
  std::vector<BCNInstallationsItem> registered, refreshed, deleted;

 private:
  static long next(std::deque<long>& script) {
    if (script.empty()) return 0;
    long status = script.front();
    if (script.size() > 1) script.pop_front();  // the last entry repeats
    return status;
  }
  static CVPPromise<BCNInstallationsItem> failure(long status) {
    platform::HttpResponse response;
    response.statusCode = status;
    response.url = "https://installations.test/";
    return CVPPromise<BCNInstallationsItem>::resolvedWith(
        BCNInstallationsErrorUtil::APIErrorWithHTTPResponse(response));
  }
  BCNInstallationsStoredAuthToken token(double lifetime) const {
    BCNInstallationsStoredAuthToken authToken;
    authToken.status = kBCNInstallationsAuthTokenStatusTokenReceived;
    authToken.token = "token";
    authToken.expirationDate = platform::Date{clock_.now().secondsSinceReferenceDate + lifetime};
    return authToken;
  }
  platform::ManualClock& clock_;
};

class InstallationsTest : public ::testing::Test {
 protected:
  InstallationsTest() {
    user.writeInfo({{"CFBundleIdentifier", kTestBundleIdentifier}});
    platform::Bundle::resetMainForTesting();
    platform::setSharedKeychain(keychain);
    CVPPromiseClass::setDefaultDispatchQueue(queue);
  }
  ~InstallationsTest() override {
    platform::setSharedKeychain(nullptr);
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
  }

  // Runs everything runnable, then the promise's outcome.
  template <class T>
  platform::Result<T> settle(const CVPPromise<T>& promise) {
    dispatch.drain();
    if (promise.isPending()) return platform::Error("test", -1, "the promise is still pending");
    if (promise.isRejected()) return *promise.error();
    return *promise.value();
  }

  platform::testing::TemporaryUser user;
  std::shared_ptr<ScriptedKeychain> keychain =
      std::make_shared<ScriptedKeychain>(user.root() / "keychain.plist");
  platform::DeterministicDispatch dispatch;
  platform::QueueRef queue = platform::makeSerialQueue("installations.test");
};

}  // namespace beacon::testing
