#include "Velloran/services/OtherAppsViewModel.h"

#include <gtest/gtest.h>

#include <sstream>

#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/services/LookupError.h"
#include "Velloran/services/OtherAppsCatalog.h"
#include "Velloran/services/testing/FakeAppDirectory.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran {
namespace {

using Content = OtherAppsViewModel::Content;

// The first two catalog apps have descriptions of their own; 42 is none of the maker's.
const std::int64_t kNotes = 6446021387;
const std::int64_t kTimer = 6449318852;
const std::int64_t kForeign = 42;

AppStoreApp storeApp(std::int64_t id, std::string storePage = {}) {
  AppStoreApp app;
  app.id = id;
  app.name = "App " + std::to_string(id);
  app.subtitle = "Store subtitle";
  app.genre = "Tools";
  app.appStoreURL = platform::Url::parse(
      storePage.empty() ? "https://apps.example/app/id" + std::to_string(id) : storePage);
  return app;
}

std::vector<std::int64_t> idsOf(const std::vector<AppStoreApp>& apps) {
  std::vector<std::int64_t> ids;
  for (const AppStoreApp& app : apps) ids.push_back(app.id);
  return ids;
}

class OtherAppsViewModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    analytics_ = std::make_unique<AnalyticsService>(platform::PreferencesDomain::named("other-apps-test"),
                                                    sdk_, console_);
    model_ = OtherAppsViewModel::make(otherAppIDs(), directory_, workspace_, *analytics_);
    model_->setChangeHandler([this] { changes_ += 1; });
  }
  void loadWith(std::vector<AppStoreApp> apps) {
    model_->load();
    directory_->succeed(std::move(apps));
    dispatch_.drain();
  }
  void loadFailing(platform::Error error) {
    model_->load();
    directory_->fail(std::move(error));
    dispatch_.drain();
  }

  platform::DeterministicDispatch dispatch_;
  testing::OrdinaryLaunch launch_;
  std::shared_ptr<testing::RecordingAnalyticsSdk> sdk_ = std::make_shared<testing::RecordingAnalyticsSdk>();
  std::ostringstream console_;
  std::unique_ptr<AnalyticsService> analytics_;
  std::shared_ptr<testing::FakeAppDirectory> directory_ = std::make_shared<testing::FakeAppDirectory>();
  std::shared_ptr<platform::testing::RecordingWorkspace> workspace_ =
      std::make_shared<platform::testing::RecordingWorkspace>();
  std::shared_ptr<OtherAppsViewModel> model_;
  int changes_ = 0;
};

// --- Loading ---------------------------------------------------------------------------------------

TEST_F(OtherAppsViewModelTest, StartsEmptyAndIdle) {
  EXPECT_EQ(model_->content(), Content::empty);
  EXPECT_FALSE(model_->isLoading());
  EXPECT_EQ(model_->appIDs(), otherAppIDs());
  EXPECT_EQ(model_->descriptionsByID(), otherAppDescriptions());
}

TEST_F(OtherAppsViewModelTest, ShowsTheRecordsInLookupOrderWithItsOwnDescriptionsInPlaceOfStoreSubtitles) {
  model_->load();
  EXPECT_EQ(model_->content(), Content::loading);
  EXPECT_EQ(directory_->requests(), std::vector<std::vector<std::string>>{otherAppIDs()});

  directory_->succeed({storeApp(kTimer), storeApp(kForeign), storeApp(kNotes)});
  dispatch_.drain();

  EXPECT_EQ(model_->content(), Content::loaded);
  EXPECT_FALSE(model_->isLoading());
  EXPECT_TRUE(model_->hasLoadedOnce());
  EXPECT_EQ(idsOf(model_->apps()), (std::vector<std::int64_t>{kTimer, kForeign, kNotes}));
  EXPECT_EQ(model_->apps()[0].subtitle, otherAppDescriptions().at(kTimer));
  EXPECT_EQ(model_->apps()[1].subtitle, "Store subtitle");
  EXPECT_EQ(model_->apps()[2].subtitle, otherAppDescriptions().at(kNotes));
  EXPECT_EQ(model_->apps()[0].genre, "Tools");
  EXPECT_EQ(changes_, 2) << "loading began, loading ended";
}

TEST_F(OtherAppsViewModelTest, ALoadWhileOneRunsFetchesNothing) {
  model_->load();
  model_->load();
  model_->appear();
  EXPECT_EQ(directory_->requests().size(), 1u);
  EXPECT_EQ(changes_, 1);
}

TEST_F(OtherAppsViewModelTest, TheLookupsOwnFailuresShowTheirTextOthersTheGeneralOne) {
  loadFailing(LookupError::httpStatus(503).error());
  EXPECT_EQ(model_->content(), Content::failed);
  EXPECT_EQ(model_->errorMessage(), "App Store antwortete mit Status 503.");
  EXPECT_FALSE(model_->isLoading());

  loadFailing(platform::Error("platform.net", 6, "Could not connect"));
  EXPECT_EQ(model_->errorMessage(), "Konnte Apps nicht laden.");
}

TEST_F(OtherAppsViewModelTest, ANewLoadClearsTheLastFailure) {
  loadFailing(LookupError::emptyResponse().error());
  model_->load();
  EXPECT_EQ(model_->errorMessage(), std::nullopt);
  EXPECT_EQ(model_->content(), Content::loading);
}

TEST_F(OtherAppsViewModelTest, AFailedRetryKeepsTheRecordsOfTheEarlierSuccess) {
  loadWith({storeApp(kNotes)});
  loadFailing(LookupError::invalidURL().error());

  EXPECT_EQ(idsOf(model_->apps()), std::vector<std::int64_t>{kNotes});
  EXPECT_EQ(model_->errorMessage(), "Ungültige App-Store-URL.");
  EXPECT_TRUE(model_->hasLoadedOnce());
  EXPECT_EQ(model_->content(), Content::loaded);
}

TEST_F(OtherAppsViewModelTest, AppearingFetchesAgainAfterAFailureButNotAfterASuccess) {
  loadFailing(LookupError::emptyResponse().error());
  EXPECT_FALSE(model_->hasLoadedOnce());

  model_->appear();
  EXPECT_EQ(directory_->requests().size(), 2u);
  directory_->succeed({});
  dispatch_.drain();
  EXPECT_TRUE(model_->hasLoadedOnce());
  EXPECT_EQ(model_->content(), Content::empty) << "a lookup that found none of the apps";

  model_->appear();
  EXPECT_EQ(directory_->requests().size(), 2u);
  model_->load();
  EXPECT_EQ(directory_->requests().size(), 3u) << "the retry button always fetches";
}

TEST_F(OtherAppsViewModelTest, AnAnswerArrivingAfterTheModelIsGoneIsDropped) {
  model_->load();
  model_.reset();
  directory_->succeed({storeApp(kNotes)});
  dispatch_.drain();
  EXPECT_EQ(changes_, 1);
}

// --- Opening store pages ---------------------------------------------------------------------------

TEST_F(OtherAppsViewModelTest, OpeningLogsTheEventFirstAndThenHandsTheStorePageToTheWorkspace) {
  loadWith({storeApp(kNotes)});
  std::vector<testing::AnalyticsSdkCall> eventsWhenOpened;
  workspace_->setOnOpen([&](const std::string&) { eventsWhenOpened = sdk_->events(); });

  ASSERT_TRUE(model_->openStorePage(kNotes));

  EXPECT_EQ(workspace_->openedURLs(), std::vector<std::string>{"https://apps.example/app/id6446021387"});
  const AnalyticsParameters parameters{{"app_name", platform::Value("App 6446021387")},
                                       {"app_id", platform::Value("6446021387")}};
  EXPECT_EQ(eventsWhenOpened, (std::vector{testing::logEventCall("app_store_open", parameters)}));
}

TEST_F(OtherAppsViewModelTest, OnlyWebStorePagesOfShownRecordsOpen) {
  AppStoreApp local = storeApp(kTimer, "file:///etc/passwd");
  AppStoreApp custom = storeApp(kForeign, "itms-apps://apps.example/app/id42");
  AppStoreApp withoutPage = storeApp(7);
  withoutPage.appStoreURL.reset();
  loadWith({local, custom, withoutPage});

  for (const std::int64_t id : {kTimer, kForeign, std::int64_t{7}, kNotes}) {
    EXPECT_EQ(model_->storePageURL(id), std::nullopt) << id;
    EXPECT_FALSE(model_->openStorePage(id)) << id;
  }
  EXPECT_TRUE(workspace_->openedURLs().empty());
  EXPECT_TRUE(sdk_->events().empty());
}

}  // namespace
}  // namespace velloran
