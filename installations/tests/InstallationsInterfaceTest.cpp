// The public installations interface: option checks, completions and the errors they carry.
#include <gtest/gtest.h>

#include "installations/BCNInstallations.h"
#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/tests/InstallationsTestSupport.h"
#include "sdk-core/BCNOptions.h"

namespace beacon {
namespace {

std::shared_ptr<BCNOptions> options(std::string APIKey, std::string projectID) {
  auto options = BCNOptions::initWithCorvaneAppID(testing::kTestAppID, "123456789012");
  if (!APIKey.empty()) options->setAPIKey(std::move(APIKey));
  if (!projectID.empty()) options->setProjectID(std::move(projectID));
  return options;
}

std::string validationReason(std::string APIKey, std::string projectID, std::string appName = "app") {
  return testing::raisedInstallationsReason(
      [&] { BCNInstallations::validateAppOptions(*options(APIKey, projectID), appName); });
}

TEST(InstallationsOptionsTest, MissingValuesAreListedInOrderBeforeTheKeyIsChecked) {
  EXPECT_EQ(
      validationReason("", ""),
      "[BeaconInstallations][I-BIS008000] Could not configure Beacon Installations due to invalid BeaconApp "
      "options. The following parameters are nil or empty: `BeaconOptions.APIKey`, "
      "`BeaconOptions.projectID`. "
      "If you use BeaconService-Info.plist please download the most recent version from the Beacon Console. "
      "If "
      "you configure Beacon in code, please make sure you specify all required parameters.");
  EXPECT_NE(validationReason(testing::kTestAPIKey, "p", "").find("empty: `BeaconApp.name`."),
            std::string::npos);
  EXPECT_EQ(validationReason(testing::kTestAPIKey, "p"), "(nothing raised)");
}

TEST(InstallationsOptionsTest, MalformedKeysListEveryBrokenRule) {
  std::string startsWithB = "B" + std::string(testing::kTestAPIKey).substr(1);
  EXPECT_NE(validationReason(startsWithB, "p")
                .find("doesn't match the expected format: API Key must start with `A`. "),
            std::string::npos);
  std::string shortWithPlus = std::string(testing::kTestAPIKey).substr(0, 37) + "+";
  EXPECT_NE(
      validationReason(shortWithPlus, "p")
          .find("API Key length must be 39 characters, API Key must contain only base64 url-safe characters "
                "characters. "),
      std::string::npos);
}

class InstallationsInterfaceTest : public testing::InstallationsTest {
 protected:
  std::shared_ptr<BCNInstallations> makeInstallations() {
    std::shared_ptr<platform::ManualClock> clock = dispatch.sharedClock();
    BCNInstallationsIDController::Collaborators collaborators{
        std::make_shared<BCNInstallationsStore>(CVUKeychainStorage::initWithService("service"), std::nullopt),
        api,
        std::make_shared<BCNInstallationsIIDStore>(),
        std::make_shared<BCNInstallationsIIDTokenStore>("123456789012"),
        std::make_shared<BCNInstallationsBackoffController>([clock] { return clock->now(); }),
        clock};
    return BCNInstallations::initWithAppOptions(
        options(testing::kTestAPIKey, "p"), "app",
        BCNInstallationsIDController::initWithCorvaneAppID(testing::kTestAppID, "app", collaborators), false);
  }

  std::shared_ptr<testing::ScriptedAPIService> api =
      std::make_shared<testing::ScriptedAPIService>(dispatch.clock());
};

TEST_F(InstallationsInterfaceTest, CompletionsCarryTheIDAndTheToken) {
  auto installations = makeInstallations();
  std::optional<std::string> installationID;
  installations->installationIDWithCompletion([&](auto id, auto error) {
    EXPECT_FALSE(error);
    installationID = id;
  });
  std::optional<BCNInstallationsAuthTokenResult> token;
  installations->authTokenWithCompletion([&](auto result, auto error) {
    EXPECT_FALSE(error);
    token = result;
  });
  dispatch.drain();
  ASSERT_TRUE(installationID);
  EXPECT_EQ(installationID->size(), 22u);
  ASSERT_TRUE(token);
  EXPECT_EQ(token->authToken(), "token");
}

TEST_F(InstallationsInterfaceTest, ErrorsOfOtherDomainsArriveWrapped) {
  keychain->refuseWrites = true;
  auto installations = makeInstallations();
  std::optional<platform::Error> failure;
  installations->installationIDWithCompletion([&](auto id, auto error) {
    EXPECT_FALSE(id);
    failure = error;
  });
  dispatch.drain();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->domain, kBCNInstallationsErrorDomain);
  EXPECT_EQ(failure->code, 0);
  EXPECT_EQ(failure->description, "Underlying error: SecItemAdd (-36)");
}

TEST_F(InstallationsInterfaceTest, DeletingWithNothingStoredReportsNotFound) {
  std::optional<platform::Error> failure;
  makeInstallations()->deleteWithCompletion([&](auto error) { failure = error; });
  dispatch.drain();
  ASSERT_TRUE(failure);
  EXPECT_NE(failure->description.find("not found"), std::string::npos);
}

}  // namespace
}  // namespace beacon
