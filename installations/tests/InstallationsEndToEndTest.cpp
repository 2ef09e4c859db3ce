// From the app's configure to the installations service and back: the configuration file names the
// project, BEACON_SERVICE_ORIGIN sends the client to the fake service on 127.0.0.1, the keychain is
// the file back end in a temporary home, and the installations client reads a virtual clock. Promise
// steps run on the main queue, pumped here; the network runs on its own thread.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "installations/BCNInstallationIDLink.h"
#include "installations/BCNInstallations.h"
#include "installations/tests/FakeInstallationsServer.h"
#include "installations/tests/InstallationsTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/keychain/FileKeychain.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNOptions.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"

namespace beacon {
namespace {

using Route = testing::FakeInstallationsServer::Route;
using Fault = testing::FakeInstallationsServer::Fault;
constexpr std::chrono::seconds kGenerousWait{20};

template <class T>
struct Answer {
  std::optional<T> value;
  std::optional<platform::Error> error;
  bool arrived = false;
};

class InstallationsEndToEndTest : public ::testing::Test {
 protected:
  InstallationsEndToEndTest() {
    user.writeInfo({{"CFBundleIdentifier", testing::kTestBundleIdentifier}});
    platform::testing::writePropertyListFile(
        user.bundle() / "BeaconService-Info.plist",
        platform::Value(platform::Dictionary{{kBCNCorvaneAppIDKey, testing::kTestAppID},
                                             {kBCNCCMSenderIDKey, "123456789012"},
                                             {kBCNAPIKeyKey, testing::kTestAPIKey},
                                             {kBCNProjectIDKey, "velloran-test"},
                                             {kBCNBundleIDKey, testing::kTestBundleIdentifier}}));
    user.environment().set(kCVUServiceOriginVariable, server.origin());
    BCNInstallations::load();
    BCNInstallations::setClock(clock);
    startProcess();
  }
  ~InstallationsEndToEndTest() override {
    testing::finishPromiseWork();
    BCNApp::resetApps();
    BCNInstallations::setClock(nullptr);
    platform::setSharedKeychain(nullptr);
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
    BCNOptions::resetDefaultOptions();
  }

  // What a launch of the application does: everything read afresh from disk, then configure. The
  // earlier "process" finishes its work first.
  void startProcess() {
    testing::finishPromiseWork();
    BCNApp::resetApps();
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
    BCNOptions::resetDefaultOptions();
    platform::setSharedKeychain(
        std::make_shared<platform::FileKeychain>(*platform::FileKeychain::defaultPath()));
    BCNApp::configure();
  }

  Answer<std::string> installationID() {
    return awaitCompletion<std::string>(
        [](auto completion) { BCNInstallations::installations()->installationIDWithCompletion(completion); });
  }
  Answer<BCNInstallationsAuthTokenResult> authToken() {
    return awaitCompletion<BCNInstallationsAuthTokenResult>(
        [](auto completion) { BCNInstallations::installations()->authTokenWithCompletion(completion); });
  }

  // Calls `start` with a completion and pumps the main queue until the completion has run.
  template <class T, class Start>
  Answer<T> awaitCompletion(Start start) {
    auto answer = std::make_shared<Answer<T>>();
    start([answer](std::optional<T> value, std::optional<platform::Error> error) {
      answer->value = std::move(value);
      answer->error = std::move(error);
      answer->arrived = true;
    });
    platform::runUntil([&] { return answer->arrived; }, kGenerousWait);
    return *answer;
  }

  std::size_t requestsTo(const std::string& suffix) const {
    std::size_t count = 0;
    for (const auto& request : server.requests())
      if (request.path.size() >= suffix.size() &&
          request.path.compare(request.path.size() - suffix.size(), suffix.size(), suffix) == 0)
        ++count;
    return count;
  }
  std::size_t registrations() const { return requestsTo("/installations/"); }
  std::size_t tokenRequests() const { return requestsTo("/authTokens:generate"); }

  platform::testing::TemporaryUser user;
  testing::FakeInstallationsServer server;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  testing::IDChangeRecorder changes;
};

TEST_F(InstallationsEndToEndTest, TheInstallationIsRegisteredOnceRenewedAfterExpiryAndSurvivesARestart) {
  Answer<std::string> id = installationID();
  ASSERT_TRUE(id.value) << id.error->debugDescription();
  EXPECT_EQ(id.value->size(), 22u);
  // The ID came without waiting for registration, which follows by itself.
  ASSERT_TRUE(platform::runUntil([&] { return server.knows(*id.value); }, kGenerousWait));

  Answer<BCNInstallationsAuthTokenResult> first = authToken();
  ASSERT_TRUE(first.value) << first.error->debugDescription();
  EXPECT_EQ(first.value->authToken(), "token-1");
  EXPECT_EQ(first.value->expirationDate().secondsSinceReferenceDate,
            clock->now().secondsSinceReferenceDate + 604800);
  EXPECT_EQ(registrations(), 1u);
  EXPECT_EQ(tokenRequests(), 0u);

  // An hour and a second before the week runs out the token still serves; at one second less than
  // an hour it is renewed.
  clock->advance(std::chrono::seconds(604800 - 3600));
  EXPECT_EQ(authToken().value->authToken(), "token-1");
  clock->advance(std::chrono::seconds(1));
  Answer<BCNInstallationsAuthTokenResult> renewed = authToken();
  ASSERT_TRUE(renewed.value) << renewed.error->debugDescription();
  EXPECT_EQ(renewed.value->authToken(), "token-2");
  EXPECT_EQ(tokenRequests(), 1u);

  startProcess();
  EXPECT_EQ(installationID().value, id.value);
  EXPECT_EQ(authToken().value->authToken(), "token-2");
  EXPECT_EQ(registrations(), 1u);
  EXPECT_EQ(tokenRequests(), 1u);
  EXPECT_EQ(changes.appNames(), std::vector<std::string>{kBCNDefaultAppName});
}

TEST_F(InstallationsEndToEndTest, ARestartReplacesARecordTheServiceNoLongerKnows) {
  Answer<std::string> id = installationID();
  ASSERT_TRUE(authToken().value);
  startProcess();
  server.queueFaults(Route::GenerateToken, {Fault{401, "{}"}});
  clock->advance(std::chrono::hours(24 * 7));
  Answer<BCNInstallationsAuthTokenResult> token = authToken();
  ASSERT_TRUE(token.value) << token.error->debugDescription();
  Answer<std::string> replaced = installationID();
  ASSERT_TRUE(replaced.value);
  EXPECT_NE(replaced.value, id.value);
  EXPECT_TRUE(server.knows(*replaced.value));
  EXPECT_EQ(registrations(), 2u);
}

// The analytics side's road to the ID: told at once, and again after each change.
TEST_F(InstallationsEndToEndTest, TheLinkTellsItsConsumerTheIDAndEveryChange) {
  std::vector<std::optional<std::string>> told;
  platform::ObserverToken link =
      BCNInstallationIDLink::follow([&](std::optional<std::string> id, std::optional<platform::Error> error) {
        EXPECT_EQ(id.has_value(), !error.has_value());
        told.push_back(std::move(id));
      });
  ASSERT_TRUE(platform::runUntil([&] { return told.size() >= 1 && registrations() == 1; }, kGenerousWait));
  ASSERT_TRUE(told[0]);

  bool deleted = false;
  BCNInstallations::installations()->deleteWithCompletion([&](auto error) {
    EXPECT_FALSE(error);
    deleted = true;
  });
  // After the deletion the link asks again, and so makes the next installation.
  ASSERT_TRUE(
      platform::runUntil([&] { return deleted && told.back() && told.back() != told[0]; }, kGenerousWait));
}

TEST_F(InstallationsEndToEndTest, AfterTheDefaultAppIsGoneTheLinkReportsNoID) {
  std::vector<std::optional<std::string>> told;
  std::optional<platform::Error> lastError;
  platform::ObserverToken link = BCNInstallationIDLink::follow([&](auto id, auto error) {
    told.push_back(id);
    lastError = error;
  });
  ASSERT_TRUE(platform::runUntil([&] { return !told.empty() && registrations() == 1; }, kGenerousWait));
  BCNApp::resetApps();
  platform::NotificationCenter::defaultCenter().post(
      kBCNInstallationIDDidChangeNotification, nullptr,
      platform::Dictionary{{kBCNInstallationIDDidChangeNotificationAppNameKey, kBCNDefaultAppName}});
  ASSERT_TRUE(platform::runUntil([&] { return !told.back(); }, kGenerousWait));
  ASSERT_TRUE(lastError);
  EXPECT_EQ(lastError->domain, kBCNInstallationsErrorDomain);
}

// The registration the ID starts by itself is still under way when the app goes. Once the app is let
// go of, nothing of its installation reaches the disk any more: the user's data folder, gone as a
// test's temporary home goes, is not made again by a late keychain or heartbeat write.
class InstallationsTeardownTest : public InstallationsEndToEndTest {
 protected:
  void expectNothingWrittenAfter(const std::function<void()>& letGoOfTheApp) {
    ASSERT_TRUE(installationID().value);
    letGoOfTheApp();
    std::filesystem::remove_all(user.dataHome());
    testing::finishPromiseWork();
    EXPECT_FALSE(std::filesystem::exists(user.dataHome()));
  }
};

TEST_F(InstallationsTeardownTest, NothingIsWrittenAfterTheAppsAreReset) {
  expectNothingWrittenAfter([] { BCNApp::resetApps(); });
}

TEST_F(InstallationsTeardownTest, NothingIsWrittenAfterTheAppIsDeleted) {
  expectNothingWrittenAfter([] { BCNApp::defaultApp()->deleteApp(nullptr); });
}

}  // namespace
}  // namespace beacon
