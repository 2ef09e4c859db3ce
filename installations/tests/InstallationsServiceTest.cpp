// The REST client and the lifecycle against the fake installations service, over real HTTP on
// 127.0.0.1 with the threaded dispatch backend: promise steps run on the main queue, pumped here.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "installations/BCNInstallationsAPIService.h"
#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/BCNInstallationsIDController.h"
#include "installations/tests/FakeInstallationsServer.h"
#include "installations/tests/InstallationsLogCapture.h"
#include "installations/tests/InstallationsTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/HttpError.h"
#include "sdk-core/BCNHeartbeatController.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"

namespace beacon {
namespace {

using Item = BCNInstallationsItem;
using Fault = testing::FakeInstallationsServer::Fault;
using Route = testing::FakeInstallationsServer::Route;

constexpr const char* kProject = "velloran-test";

// Has one day of heartbeats to hand out, once.
class OneHeartbeat final : public BCNHeartbeatLoggerProtocol {
 public:
  void log() override {}
  std::shared_ptr<BCNHeartbeatsPayload> flushHeartbeatsIntoPayload() override {
    HeartbeatsPayload payload;
    if (!flushed_.exchange(true))
      payload.userAgentPayloads.push_back({"velloran/1.0", {platform::Date{721692800}}});
    return std::make_shared<BCNHeartbeatsPayload>(payload);
  }
  std::int64_t heartbeatCodeForToday() override { return kBCNHeartbeatCodeNone; }

 private:
  std::atomic<bool> flushed_{false};
};

class InstallationsServiceTest : public ::testing::Test {
 protected:
  InstallationsServiceTest() {
    user.writeInfo({{"CFBundleIdentifier", testing::kTestBundleIdentifier}});
    platform::Bundle::resetMainForTesting();
    platform::setSharedKeychain(keychain);
    user.environment().set(kCVUServiceOriginVariable, server.origin());
  }
  ~InstallationsServiceTest() override {
    testing::finishPromiseWork();
    platform::setSharedKeychain(nullptr);
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
  }

  // A controller as a new process would make it: its own store objects and caches.
  std::shared_ptr<BCNInstallationsIDController> newController() {
    BCNInstallationsIDController::Collaborators collaborators{
        std::make_shared<BCNInstallationsStore>(
            CVUKeychainStorage::initWithService(
                BCNInstallationsIDController::keychainServiceWithAppID(testing::kTestAppID)),
            std::nullopt),
        BCNInstallationsAPIService::initWithAPIKey(testing::kTestAPIKey, kProject, heartbeats),
        std::make_shared<BCNInstallationsIIDStore>(),
        std::make_shared<BCNInstallationsIIDTokenStore>("123456789012"),
        std::make_shared<BCNInstallationsBackoffController>(),
        nullptr};
    return BCNInstallationsIDController::initWithCorvaneAppID(testing::kTestAppID, "app", collaborators);
  }

  template <class T>
  platform::Result<T> await(const CVPPromise<T>& promise) {
    platform::runUntil([&] { return !promise.isPending(); }, std::chrono::seconds(20));
    if (promise.isPending()) return platform::Error("test", -1, "the promise is still pending");
    if (promise.isRejected()) return *promise.error();
    return *promise.value();
  }

  // Registers, replaces the data of the stored record with `garbage`, then registers in two more
  // processes: the first makes a new installation, the second reads it back. Answers the
  // I-BIS006001 lines logged meanwhile.
  std::vector<std::string> registerPastADamagedRecord(const platform::Bytes& garbage) {
    auto first = await(newController()->getAuthTokenForcingRefresh(false));
    EXPECT_TRUE(first.ok());
    EXPECT_EQ(keychain->update(platform::KeychainQuery{}, garbage), platform::kKeychainSuccess);

    testing::InstallationsLogCapture log;
    auto second = await(newController()->getAuthTokenForcingRefresh(false));
    auto third = await(newController()->getAuthTokenForcingRefresh(false));
    if (!first.ok() || !second.ok() || !third.ok()) {
      ADD_FAILURE() << "a registration failed";
      return {};
    }
    EXPECT_NE(second->beaconInstallationID, first->beaconInstallationID) << "registered anew";
    EXPECT_EQ(third->beaconInstallationID, second->beaconInstallationID) << "the new record reads";
    std::vector<std::string> warnings;
    for (const platform::CapturedLogLine& line : log.lines())
      if (line.text.find("I-BIS006001") != std::string::npos) warnings.push_back(line.text);
    return warnings;
  }

  std::vector<platform::testing::RecordedRequest> requestsTo(const std::string& method) const {
    std::vector<platform::testing::RecordedRequest> matching;
    for (const auto& request : server.requests())
      if (request.method == method) matching.push_back(request);
    return matching;
  }

  platform::testing::TemporaryUser user;
  std::shared_ptr<testing::ScriptedKeychain> keychain =
      std::make_shared<testing::ScriptedKeychain>(user.root() / "keychain.plist");
  testing::FakeInstallationsServer server;
  std::shared_ptr<OneHeartbeat> heartbeats = std::make_shared<OneHeartbeat>();
  testing::IDChangeRecorder changes;
};

TEST_F(InstallationsServiceTest, TheFirstRunRegistersAndALaterProcessReusesTheInstallation) {
  auto first = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(first.ok()) << first.error().debugDescription();
  EXPECT_EQ(first->registrationStatus, kBCNInstallationsRegistrationStatusRegistered);
  EXPECT_TRUE(server.knows(*first->beaconInstallationID));

  std::vector<platform::testing::RecordedRequest> registrations = requestsTo("POST");
  ASSERT_EQ(registrations.size(), 1u);
  const platform::testing::RecordedRequest& registration = registrations[0];
  EXPECT_EQ(registration.path, std::string("/v1/projects/") + kProject + "/installations/");
  EXPECT_EQ(registration.header("X-Corv-Api-Key"), testing::kTestAPIKey);
  EXPECT_EQ(registration.header("X-Ios-Bundle-Identifier"), testing::kTestBundleIdentifier);
  EXPECT_EQ(registration.header("Content-Type"), "application/json");
  EXPECT_FALSE(registration.header("Authorization"));
  platform::Value body = *platform::parseJson(registration.body);
  EXPECT_EQ(body,
            platform::Value(platform::Dictionary{{"bid", *first->beaconInstallationID},
                                                 {"authVersion", "BIS_v2"},
                                                 {"appId", testing::kTestAppID},
                                                 {"sdkVersion", BCNInstallationsAPIService::SDKVersion()}}));

  auto second = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second->beaconInstallationID, first->beaconInstallationID);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(InstallationsServiceTest, HeartbeatsGoOutWithTheFirstRequestOnly) {
  auto controller = newController();
  ASSERT_TRUE(await(controller->getAuthTokenForcingRefresh(false)).ok());
  ASSERT_TRUE(await(controller->getAuthTokenForcingRefresh(true)).ok());
  std::vector<platform::testing::RecordedRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].header("X-beacon-client"));
  EXPECT_FALSE(requests[1].header("X-beacon-client"));
  EXPECT_EQ(requests[1].header("Authorization"), "BIS_v2 rt-1");
  EXPECT_EQ(
      *platform::parseJson(requests[1].body),
      platform::Value(platform::Dictionary{
          {"installation", platform::Dictionary{{"sdkVersion", BCNInstallationsAPIService::SDKVersion()}}}}));
}

// Callers on several threads while the registration is on its way: one installation, one
// registration, one token for all of them.
TEST_F(InstallationsServiceTest, CallersOnManyThreadsShareOneRegistration) {
  server.delayAnswers(Route::Register, std::chrono::milliseconds(100));
  auto controller = newController();
  std::vector<std::optional<CVPPromise<Item>>> promises(6);
  std::vector<std::thread> callers;
  for (std::size_t i = 0; i < promises.size(); ++i)
    callers.emplace_back([&, i] {
      promises[i] = i % 2 ? controller->getInstallationItem() : controller->getAuthTokenForcingRefresh(false);
    });
  for (std::thread& caller : callers) caller.join();
  std::optional<std::string> installationID;
  for (const std::optional<CVPPromise<Item>>& promise : promises) {
    auto item = await(*promise);
    ASSERT_TRUE(item.ok()) << item.error().debugDescription();
    if (!installationID) installationID = item->beaconInstallationID;
    EXPECT_EQ(item->beaconInstallationID, installationID);
  }
  EXPECT_EQ(requestsTo("POST").size(), 1u);
  EXPECT_EQ(changes.appNames(), std::vector<std::string>{"app"});
}

TEST_F(InstallationsServiceTest, AServerChosenIDIsStoredAndAnnounced) {
  server.chooseInstallationID("fServerChosenServerCho");
  auto token = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(token.ok());
  EXPECT_EQ(token->beaconInstallationID, "fServerChosenServerCho");
  EXPECT_EQ(await(newController()->getInstallationItem())->beaconInstallationID, "fServerChosenServerCho");
  platform::runUntil([&] { return changes.appNames().size() >= 2; }, std::chrono::seconds(5));
  EXPECT_EQ(changes.appNames(), (std::vector<std::string>{"app", "app"}));
}

TEST_F(InstallationsServiceTest, ATokenWithLessThanAnHourLeftIsRenewedRightAway) {
  server.setTokenLifetime("3599s");
  auto token = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(token.ok());
  EXPECT_EQ(token->authToken.token, "token-2");
  std::vector<platform::testing::RecordedRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[1].path.find("/authTokens:generate"), std::string::npos);
}

TEST_F(InstallationsServiceTest, A500IsTriedOnceMoreAfterASecond) {
  server.queueFaults(Route::Register, {Fault{}});
  auto started = std::chrono::steady_clock::now();
  auto token = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(token.ok()) << token.error().debugDescription();
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(950));
  EXPECT_EQ(requestsTo("POST").size(), 2u);
}

TEST_F(InstallationsServiceTest, TwoAnswersOf500FailWithTheSecond) {
  server.queueFaults(Route::Register,
                     {Fault{500, R"({"error":"first"})"}, Fault{500, R"({"error":"second"})"}});
  auto token = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_FALSE(token.ok());
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(token.error(), 500));
  EXPECT_NE(token.error().description.find(R"(Response body: {"error":"second"})"), std::string::npos);
  EXPECT_EQ(requestsTo("POST").size(), 2u);
}

TEST_F(InstallationsServiceTest, AnUnknownInstallationIsReplacedOnceAndNotForever) {
  auto controller = newController();
  auto first = await(controller->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(first.ok());
  server.queueFaults(Route::GenerateToken, {Fault{401, "{}"}});
  auto renewed = await(controller->getAuthTokenForcingRefresh(true));
  ASSERT_TRUE(renewed.ok()) << renewed.error().debugDescription();
  EXPECT_NE(renewed->beaconInstallationID, first->beaconInstallationID);

  server.queueFaults(Route::Register, {Fault{401, "{}"}}, true);
  server.queueFaults(Route::GenerateToken, {Fault{401, "{}"}}, true);
  std::size_t before = requestsTo("POST").size();
  auto refused = await(controller->getAuthTokenForcingRefresh(true));
  ASSERT_FALSE(refused.ok());
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(refused.error(), 401));
  platform::runMainQueueFor(std::chrono::milliseconds(300));
  EXPECT_LE(requestsTo("POST").size() - before, 6u);
}

TEST_F(InstallationsServiceTest, ServerTroubleHoldsTheNextRequestBack) {
  server.queueFaults(Route::Register, {Fault{503, "{}"}}, true);
  auto controller = newController();
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(
      await(controller->getAuthTokenForcingRefresh(false)).error(), 503));
  std::size_t sent = server.requests().size();
  auto refused = await(controller->getAuthTokenForcingRefresh(false));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().code, kBCNInstallationsErrorCodeServerUnreachable)
      << refused.error().debugDescription();
  EXPECT_EQ(server.requests().size(), sent);
}

TEST_F(InstallationsServiceTest, DeletingAnInstallationTheServiceNoLongerKnowsSucceeds) {
  auto controller = newController();
  auto item = await(controller->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(item.ok());
  ASSERT_TRUE(await(controller->deleteInstallation()).ok());
  EXPECT_FALSE(server.knows(*item->beaconInstallationID));
  std::vector<platform::testing::RecordedRequest> deletions = requestsTo("DELETE");
  ASSERT_EQ(deletions.size(), 1u);
  EXPECT_EQ(deletions[0].path,
            std::string("/v1/projects/") + kProject + "/installations/" + *item->beaconInstallationID + "/");

  auto again = await(controller->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(again.ok());
  server.queueFaults(Route::Delete, {Fault{404, "{}"}});
  ASSERT_TRUE(await(controller->deleteInstallation()).ok());
  EXPECT_FALSE(await(controller->getInstallationItem())->beaconInstallationID == again->beaconInstallationID);
}

TEST_F(InstallationsServiceTest, RepliesTheClientCannotReadFailWithTheirReason) {
  auto service = BCNInstallationsAPIService::initWithAPIKey(testing::kTestAPIKey, kProject, heartbeats);
  Item installation(testing::kTestAppID, "app");
  installation.beaconInstallationID = Item::generateBID();
  installation.registrationStatus = kBCNInstallationsRegistrationStatusUnregistered;
  server.queueFaults(
      Route::Register,
      {Fault{200, "not json"}, Fault{200, R"({"refreshToken":"rt","authToken":"a string, not an object"})"}});
  auto notJSON = await(service->registerInstallation(installation));
  ASSERT_FALSE(notJSON.ok());
  EXPECT_EQ(notJSON.error().description, "Failed to serialize JSON data.");
  auto stringToken = await(service->registerInstallation(installation));
  ASSERT_FALSE(stringToken.ok());
  EXPECT_EQ(stringToken.error().description, "A required response field with name authToken is missing");
}

TEST_F(InstallationsServiceTest, TheLegacyTokenTravelsWithTheRegistrationAndA404OnDeleteFailsHere) {
  auto service = BCNInstallationsAPIService::initWithAPIKey(testing::kTestAPIKey, kProject, heartbeats);
  Item installation(testing::kTestAppID, "app");
  installation.beaconInstallationID = "cLegacyID11";
  installation.IIDDefaultToken = "legacy-token";
  installation.registrationStatus = kBCNInstallationsRegistrationStatusUnregistered;
  auto registered = await(service->registerInstallation(installation));
  ASSERT_TRUE(registered.ok()) << registered.error().debugDescription();
  EXPECT_FALSE(registered->IIDDefaultToken);
  EXPECT_EQ(server.requests().at(0).header("x-corv-bis-ios-iid-migration-auth"), "legacy-token");

  server.queueFaults(Route::Delete, {Fault{404, "{}"}});
  auto deleted = await(service->deleteInstallation(*registered));
  ASSERT_FALSE(deleted.ok());
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(deleted.error(), 404));
}

// Nothing listens at the origin: the connection error reaches the caller as the network reported it,
// and says nothing about the service, so the next request is not held back.
TEST_F(InstallationsServiceTest, ATransportFailurePassesUnchangedAndHoldsNothingBack) {
  int closedPort;
  {
    platform::testing::LocalHttpServer gone;
    gone.start();
    closedPort = gone.port();
  }
  user.environment().set(kCVUServiceOriginVariable, "http://127.0.0.1:" + std::to_string(closedPort));
  auto controller = newController();
  auto failed = await(controller->getAuthTokenForcingRefresh(false));
  ASSERT_FALSE(failed.ok());
  EXPECT_TRUE(failed.error().is(platform::kHttpErrorDomain, platform::HttpErrorCode::Transport))
      << failed.error().debugDescription();

  user.environment().set(kCVUServiceOriginVariable, server.origin());
  auto registered = await(controller->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(registered.ok()) << registered.error().debugDescription();
}

TEST_F(InstallationsServiceTest, ADamagedKeychainIsKeptAsideAndTheInstallationRegistersAnew) {
  auto first = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(first.ok()) << first.error().debugDescription();
  const std::filesystem::path file = user.root() / "keychain.plist";
  const std::string damage = "bplist00 cut short by a full disk";
  std::ofstream(file, std::ios::binary | std::ios::trunc) << damage;

  testing::InstallationsLogCapture log;
  auto second = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(second.ok()) << second.error().debugDescription();
  EXPECT_NE(second->beaconInstallationID, first->beaconInstallationID);
  EXPECT_EQ(second->registrationStatus, kBCNInstallationsRegistrationStatusRegistered);
  EXPECT_EQ(requestsTo("POST").size(), 2u);
  auto third = await(newController()->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(third.ok());
  EXPECT_EQ(third->beaconInstallationID, second->beaconInstallationID) << "the new keychain holds it";

  std::vector<std::filesystem::path> kept;
  for (const auto& entry : std::filesystem::directory_iterator(user.root()))
    if (entry.path().filename().string().starts_with("keychain.plist.damaged-")) kept.push_back(entry.path());
  ASSERT_EQ(kept.size(), 1u);
  std::ifstream in(kept[0], std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damage) << "kept as it was";
  int warnings = 0;
  for (const platform::CapturedLogLine& line : log.lines())
    if (line.text.find("I-BIS006000") != std::string::npos) {
      ++warnings;
      EXPECT_NE(line.text.find(kept[0].string()), std::string::npos) << line.text;
    }
  EXPECT_EQ(warnings, 1);
}

// A sound keychain file whose items' data is garbage: the record is kept aside beside the file, in
// the keychain's own format, with one warning, before a new one takes its place.
TEST_F(InstallationsServiceTest, ADamagedKeychainItemIsKeptAsideWithOneWarning) {
  const platform::Bytes garbage{0x5a, 0x00, 0xff, 0x13, 0x37, 0x80, 0x01};
  const std::vector<std::string> warnings = registerPastADamagedRecord(garbage);

  std::vector<std::filesystem::path> kept;
  for (const auto& entry : std::filesystem::directory_iterator(user.root()))
    if (entry.path().filename().string().starts_with("keychain.plist.item.damaged-"))
      kept.push_back(entry.path());
  ASSERT_EQ(kept.size(), 1u);
  platform::KeychainQuery record;
  record.service = BCNInstallationsIDController::keychainServiceWithAppID(testing::kTestAppID);
  EXPECT_EQ(platform::FileKeychain(kept[0]).copyMatching(record).data, garbage) << "kept as it was";
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(kept[0].string()), std::string::npos) << warnings[0];
}

// A keyring that cannot keep the damaged item aside: the new record replaces it, and one warning
// says that the installation registers anew.
TEST_F(InstallationsServiceTest, ADamagedItemAKeyringCannotKeepAsideIsReplacedWithOneWarning) {
  keychain->keepsNothingAside = true;
  const std::vector<std::string> warnings = registerPastADamagedRecord({0x5a, 0x00, 0xff, 0x13});
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("could not be kept aside"), std::string::npos) << warnings[0];
}

// Register, a refused token request whose answer echoes secrets, registering anew, delete, a
// registration refused with the API key in its answer: no log line of any level shows the API key, a refresh
// token or an auth token.
TEST_F(InstallationsServiceTest, NoLogLineOfAFullCycleShowsAKeyOrAToken) {
  testing::InstallationsLogCapture log;
  BCNLoggerSetLevel(kCVULoggerLevelDebug);
  auto controller = newController();
  ASSERT_TRUE(await(controller->getAuthTokenForcingRefresh(false)).ok());
  server.queueFaults(
      Route::GenerateToken,
      {Fault{401, std::string(R"({"error":{"message":"rt-1 refused for )") + testing::kTestAPIKey +
                      R"("},"refreshToken":"rt-1","authToken":{"token":"token-1"}})"}});
  auto renewed = await(controller->getAuthTokenForcingRefresh(true));
  ASSERT_TRUE(renewed.ok()) << renewed.error().debugDescription();
  ASSERT_TRUE(await(controller->deleteInstallation()).ok());
  server.queueFaults(Route::Register, {Fault{403, std::string("key ") + testing::kTestAPIKey + " refused"}});
  EXPECT_FALSE(await(controller->getAuthTokenForcingRefresh(false)).ok());

  std::vector<std::string> secrets{testing::kTestAPIKey};
  for (int issued = 1; issued <= 6; ++issued) {
    secrets.push_back("rt-" + std::to_string(issued));
    secrets.push_back("token-" + std::to_string(issued));
  }
  const std::vector<platform::CapturedLogLine> lines = log.lines();
  std::set<std::string> codes;
  for (const platform::CapturedLogLine& line : lines) {
    if (const std::size_t at = line.text.find("I-BIS"); at != std::string::npos)
      codes.insert(line.text.substr(at, 11));
    for (const std::string& secret : secrets)
      EXPECT_EQ(line.text.find(secret), std::string::npos) << secret << " in " << line.text;
  }
  for (const char* code : {"I-BIS001001", "I-BIS001003", "I-BIS001004", "I-BIS002003"})
    EXPECT_TRUE(codes.count(code)) << code << " was not written";
}

// Replies the client cannot read as JSON documents, each carrying tokens, on success and on refusal:
// no log line of any level and no error the caller gets shows them; their size and media type stand
// in their place.
TEST_F(InstallationsServiceTest, RepliesThatAreNotJSONDocumentsNeverShowTheirTokens) {
  testing::InstallationsLogCapture log;
  BCNLoggerSetLevel(kCVULoggerLevelDebug);
  const std::string cutOff = R"({"refreshToken":"rt-cut","authToken":{"token":"tok-cut","expiresIn":"36)";
  const std::string plain = "refreshToken=rt-plain authToken=tok-plain";
  const std::string binary =
      std::string("\x89\x00\x01\xfe", 4) + "refreshToken=rt-binary authToken=tok-binary";
  const std::string refused = "refused: refreshToken=rt-refused authToken=tok-refused";
  server.queueFaults(
      Route::Register,
      {Fault{200, cutOff, "application/json"}, Fault{200, plain, "text/plain"},
       Fault{200, binary, "application/octet-stream"}, Fault{400, refused, "text/plain; charset=utf-8"}});
  std::string errors;
  for (int attempt = 0; attempt < 4; ++attempt) {
    auto failed = await(newController()->getAuthTokenForcingRefresh(false));
    ASSERT_FALSE(failed.ok());
    errors += failed.error().debugDescription() + "\n";
  }
  ASSERT_EQ(requestsTo("POST").size(), 4u);

  const std::vector<platform::CapturedLogLine> lines = log.lines();
  for (const char* secret : {"rt-cut", "tok-cut", "rt-plain", "tok-plain", "rt-binary", "tok-binary",
                             "rt-refused", "tok-refused"}) {
    EXPECT_EQ(errors.find(secret), std::string::npos) << secret << " in " << errors;
    for (const platform::CapturedLogLine& line : lines)
      EXPECT_EQ(line.text.find(secret), std::string::npos) << secret << " in " << line.text;
  }
  auto written = [&](const std::string& code, const std::string& shown) {
    for (const platform::CapturedLogLine& line : lines)
      if (line.text.find(code) != std::string::npos && line.text.find(shown) != std::string::npos)
        return true;
    return false;
  };
  const std::string size = std::to_string(cutOff.size());
  EXPECT_TRUE(written("I-BIS001003", "<" + size + " bytes, application/json>"));
  EXPECT_TRUE(written("I-BIS001003", "<41 bytes, text/plain>"));
  EXPECT_TRUE(written("I-BIS001003", "<47 bytes, application/octet-stream>"));
  EXPECT_TRUE(written("I-BIS001004", "<54 bytes, text/plain>"));
  EXPECT_NE(errors.find("Response body: <54 bytes, text/plain>"), std::string::npos) << errors;
}

}  // namespace
}  // namespace beacon
