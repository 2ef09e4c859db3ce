#include <QPushButton>
#include <QTest>

#include "Velloran/services/LookupError.h"
#include "Velloran/services/OtherAppsCatalog.h"
#include "Velloran/settings/AdaptiveGridLayout.h"
#include "Velloran/settings/AppIconView.h"
#include "Velloran/settings/OtherAppCard.h"
#include "Velloran/settings/OtherAppsSection.h"
#include "Velloran/settings/tests/SettingsTestBed.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

using Content = OtherAppsViewModel::Content;

const std::int64_t kNotes = 6446021387;  // has a description of its own
const std::int64_t kForeign = 42;        // none of the maker's

AppStoreApp storeApp(std::int64_t id, std::string storePage, std::string subtitle = "Store subtitle",
                     std::string genre = "Tools") {
  AppStoreApp app;
  app.id = id;
  app.name = "App " + std::to_string(id);
  app.subtitle = std::move(subtitle);
  app.genre = std::move(genre);
  app.appStoreURL = platform::Url::parse(storePage);
  return app;
}

class OtherAppsSectionTest : public testing::SettingsTestBed {
 protected:
  OtherAppsSectionTest() {
    model_ = OtherAppsViewModel::make(otherAppIDs(), directory_, workspace_, *analytics_);
    section_ = std::make_unique<OtherAppsSection>(model_, std::make_shared<ArtworkLoader>(http_));
    section_->resize(520, 400);
  }

  void showSection() {
    section_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(section_.get()));
  }

  std::vector<OtherAppCard*> cards() const {
    const QList<OtherAppCard*> found = section_->findChildren<OtherAppCard*>();
    return std::vector<OtherAppCard*>(found.begin(), found.end());
  }

  std::shared_ptr<OtherAppsViewModel> model_;
  std::unique_ptr<OtherAppsSection> section_;
};

TEST_F(OtherAppsSectionTest, ShowsTheEmptyTextBeforeTheFirstLoad) {
  EXPECT_EQ(section_->shownContent(), Content::empty);
  ASSERT_NE(section_->findChild<ElidedLabel*>("otherAppsEmptyText"), nullptr);
  EXPECT_EQ(section_->findChild<ElidedLabel*>("otherAppsEmptyText")->text(),
            QString::fromUtf8("Keine Apps gefunden."));
}

TEST_F(OtherAppsSectionTest, AppearingLoadsWithFourPlaceholdersAndTheActivityIndicator) {
  showSection();
  EXPECT_EQ(directory_->requests().size(), 1u);
  EXPECT_EQ(section_->shownContent(), Content::loading);
  EXPECT_EQ(section_->findChildren<PlaceholderAppCard*>().size(), 4);
  EXPECT_TRUE(section_->showsActivity());
}

TEST_F(OtherAppsSectionTest, ShowsTheRecordsInOrderWithTheSectionsOwnDescriptions) {
  showSection();
  directory_->succeed({storeApp(kForeign, "https://apps.example/42", "Same", "Same"),
                       storeApp(kNotes, "https://apps.example/notes")});
  dispatch_.drain();

  EXPECT_EQ(section_->shownContent(), Content::loaded);
  EXPECT_FALSE(section_->showsActivity());
  const auto shown = cards();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0]->appID(), kForeign);
  // A genre equal to the subtitle is not repeated.
  EXPECT_EQ(shown[0]->textLines(), (QStringList{"App 42", "Same"}));
  EXPECT_EQ(
      shown[1]->textLines(),
      (QStringList{"App 6446021387",
                   QString::fromUtf8("Notizen und Ideen blitzschnell festhalten und übersichtlich ordnen."),
                   "Tools"}));
  EXPECT_TRUE(section_->findChildren<PlaceholderAppCard*>().isEmpty());
}

TEST_F(OtherAppsSectionTest, AStoreNameOfAnyLengthLeavesItsCardAFewLinesTall) {
  showSection();
  AppStoreApp app = storeApp(kForeign, "https://apps.example/42");
  for (int word = 0; word < 5000; ++word) app.name += " Name";
  directory_->succeed({app});
  dispatch_.drain();

  const int lineHeight = QFontMetrics(textFont(TextStyle::headline)).lineSpacing();
  EXPECT_LT(cards().at(0)->heightForWidth(400), 8 * lineHeight);
}

TEST_F(OtherAppsSectionTest, OpeningACardLogsThenOpensItsStorePage) {
  showSection();
  directory_->succeed({storeApp(kForeign, "https://apps.example/42")});
  dispatch_.drain();
  workspace_->setOnOpen([this](const std::string&) { EXPECT_EQ(sdk_->events().size(), 1u); });

  QTest::mouseClick(cards().at(0), Qt::LeftButton);

  EXPECT_EQ(workspace_->openedURLs(), std::vector<std::string>{"https://apps.example/42"});
  EXPECT_EQ(sdk_->events(),
            (std::vector<testing::AnalyticsSdkCall>{testing::logEventCall(
                "app_store_open", platform::Dictionary{{"app_name", platform::Value("App 42")},
                                                       {"app_id", platform::Value("42")}})}));
}

TEST_F(OtherAppsSectionTest, ACardWhosePageIsNoWebPageIsDisabledAndOpensNothing) {
  showSection();
  directory_->succeed({storeApp(kForeign, "file:///etc/passwd")});
  dispatch_.drain();

  OtherAppCard* card = cards().at(0);
  EXPECT_FALSE(card->isEnabled());
  QTest::mouseClick(card, Qt::LeftButton);
  EXPECT_TRUE(workspace_->openedURLs().empty());
  EXPECT_TRUE(sdk_->events().empty());
}

TEST_F(OtherAppsSectionTest, AFailureShowsTheErrorBoxAndRetryLoadsAgainAtOnce) {
  showSection();
  directory_->fail(LookupError::emptyResponse().error());
  dispatch_.drain();

  EXPECT_EQ(section_->shownContent(), Content::failed);
  auto* message = section_->findChild<ElidedLabel*>("otherAppsErrorMessage");
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->text(), QString::fromUtf8("Keine Ergebnisse für die angegebenen Apps."));
  auto* retry = section_->findChild<QPushButton*>("otherAppsRetryButton");
  ASSERT_NE(retry, nullptr);
  EXPECT_EQ(retry->text(), QString::fromUtf8("Erneut versuchen"));

  retry->click();
  EXPECT_EQ(directory_->requests().size(), 2u);
  EXPECT_EQ(section_->shownContent(), Content::loading);
  directory_->fail(platform::Error("Transport", 7, "socket closed"));
  dispatch_.drain();
  EXPECT_EQ(section_->findChild<ElidedLabel*>("otherAppsErrorMessage")->text(),
            QString::fromUtf8("Konnte Apps nicht laden."));
}

TEST_F(OtherAppsSectionTest, ShowingAgainFetchesOnlyUntilOneFetchSucceeded) {
  showSection();
  directory_->fail(LookupError::emptyResponse().error());
  dispatch_.drain();
  section_->hide();
  section_->show();
  EXPECT_EQ(directory_->requests().size(), 2u);
  directory_->succeed({storeApp(kForeign, "https://apps.example/42")});
  dispatch_.drain();
  section_->hide();
  section_->show();
  EXPECT_EQ(directory_->requests().size(), 2u);
}

TEST_F(OtherAppsSectionTest, ArtworkArrivesOnlyFromWebURLsAndWithinTheLimits) {
  AppStoreApp good = storeApp(1, "https://apps.example/1");
  good.artworkURL = platform::Url::parse("https://art.example/1.png");
  AppStoreApp local = storeApp(2, "https://apps.example/2");
  local.artworkURL = platform::Url::parse("file:///tmp/2.png");
  AppStoreApp huge = storeApp(3, "https://apps.example/3");
  huge.artworkURL = platform::Url::parse("https://art.example/3.png");
  AppStoreApp broken = storeApp(4, "https://apps.example/4");
  broken.artworkURL = platform::Url::parse("https://art.example/4.png");
  http_->responses["https://art.example/1.png"] = {200, "https://art.example/1.png",
                                                   testing::pngBytes(64, 64, Qt::red)};
  http_->responses["https://art.example/3.png"] = {
      200, "https://art.example/3.png", testing::pngBytes(ArtworkLoader::kMaximumSide + 1, 4, Qt::red)};
  http_->responses["https://art.example/4.png"] = {404, "https://art.example/4.png",
                                                   testing::pngBytes(8, 8, Qt::red)};

  showSection();
  directory_->succeed({good, local, huge, broken});
  dispatch_.drain();
  dispatch_.drain();

  const auto shown = cards();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_TRUE(shown[0]->icon()->showsArtwork());
  EXPECT_FALSE(shown[1]->icon()->showsArtwork());
  EXPECT_FALSE(shown[2]->icon()->showsArtwork());
  EXPECT_FALSE(shown[3]->icon()->showsArtwork());
  EXPECT_EQ(http_->requested,
            (std::vector<std::string>{"https://art.example/1.png", "https://art.example/3.png",
                                      "https://art.example/4.png"}));
}

TEST(AdaptiveGridLayoutTest, FitsAsManyColumnsAsTheMinimumWidthAllowsAndAtLeastOne) {
  AdaptiveGridLayout grid(220, 12);
  EXPECT_EQ(grid.columnCountFor(100), 1);
  EXPECT_EQ(grid.columnCountFor(451), 1);
  EXPECT_EQ(grid.columnCountFor(452), 2);
  EXPECT_EQ(grid.columnCountFor(700), 3);
}

TEST(AdaptiveGridLayoutTest, RowsAreAsTallAsTheirTallestItem) {
  QWidget host;
  auto* grid = new AdaptiveGridLayout(100, 10, &host);
  for (int height : {30, 50, 20}) {
    auto* item = new QWidget(&host);
    item->setFixedHeight(height);
    grid->addWidget(item);
  }
  // Two columns of 100 at 210: rows of 50 and 20, 10 apart.
  EXPECT_EQ(grid->heightForWidth(210), 80);
  grid->setGeometry(QRect(0, 0, 210, 80));
  EXPECT_EQ(grid->itemAt(2)->geometry(), QRect(0, 60, 100, 20));
  EXPECT_EQ(grid->itemAt(1)->geometry().topLeft(), QPoint(110, 0));
}

}  // namespace
}  // namespace velloran
