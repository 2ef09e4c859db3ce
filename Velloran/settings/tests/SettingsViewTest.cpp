#include <algorithm>

#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "Velloran/services/OtherAppsCatalog.h"
#include "Velloran/settings/OtherAppsSection.h"
#include "Velloran/settings/SettingsView.h"
#include "Velloran/settings/ToggleSwitch.h"
#include "Velloran/settings/tests/SettingsTestBed.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/ui/testing/WidgetChecks.h"

namespace velloran {
namespace {

using testing::AnalyticsSdkCall;

class SettingsViewTest : public testing::SettingsTestBed {
 protected:
  SettingsView& makeSheet() {
    sheet_ = std::make_unique<SettingsView>(environment(), [this] { dismissals_ += 1; });
    sheet_->resize(sheet_->sizeHint());
    return *sheet_;
  }
  SettingsView& showSheet() {
    makeSheet().show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet_.get()));
    return *sheet_;
  }

  std::unique_ptr<SettingsView> sheet_;
  int dismissals_ = 0;
};

TEST_F(SettingsViewTest, AppearingAppliesTheCollectionSetting) {
  showSheet();
  EXPECT_EQ(sdk_->events(), std::vector<AnalyticsSdkCall>{testing::logEventCall("app_open", std::nullopt)});
}

TEST_F(SettingsViewTest, WithoutAUsableStoreIDTheReviewButtonShowsTheAlertAndOpensNothing) {
  useInfo({{"APP_STORE_ID", platform::Value("12 34")}});
  SettingsView& sheet = showSheet();

  sheet.writeReviewButton()->click();

  QMessageBox* alert = sheet.missingReviewLinkAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->text(), QString::fromUtf8("Bewertungs-Link fehlt"));
  EXPECT_EQ(alert->informativeText(),
            QString::fromUtf8("Hinterlege eine gültige APP_STORE_ID im Info.plist, um direkt zum "
                              "Bewertungsbildschirm zu springen."));
  EXPECT_TRUE(workspace_->openedURLs().empty());
  EXPECT_FALSE(defaults_->objectForKey(kUserHasRatedAppKey).has_value());

  auto* ok = alert->findChild<QPushButton*>("missingReviewLinkOK");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  ok->click();
  EXPECT_EQ(sheet.missingReviewLinkAlert(), nullptr);
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(dismissals_, 0);
}

TEST_F(SettingsViewTest, TheMissingLinkAlertHasABoldTitleAboveAQuieterMessageOnALightSurface) {
  useInfo({{"APP_STORE_ID", platform::Value("12 34")}});
  showSheet().writeReviewButton()->click();
  QMessageBox* alert = sheet_->missingReviewLinkAlert();
  ASSERT_NE(alert, nullptr);
  auto* title = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  auto* message = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
  ASSERT_TRUE(title && message);
  EXPECT_TRUE(title->isVisibleTo(alert) && message->isVisibleTo(alert));
  EXPECT_GE(title->font().weight(), QFont::Bold) << "the title is no body text";
  EXPECT_GT(QFontMetrics(title->font()).height(), QFontMetrics(message->font()).height());
  EXPECT_LT(message->palette().color(QPalette::WindowText).alpha(),
            title->palette().color(QPalette::WindowText).alpha())
      << "the message is quieter than the title";
  EXPECT_EQ(alert->palette().color(QPalette::Window), QColor(Qt::white)) << "no plain grey box";
  EXPECT_TRUE(alert->autoFillBackground());
  EXPECT_EQ(alert->defaultButton(), alert->findChild<QPushButton*>("missingReviewLinkOK"));
  EXPECT_GE(message->minimumWidth(), 280) << "the message is not squeezed into a narrow column";
  testing::saveScreenshot(*alert);
}

TEST_F(SettingsViewTest, TheReviewButtonMarksTheAppRatedAndOpensTheWriteReviewPage) {
  useInfo({{"APP_STORE_ID", platform::Value(" 123456 ")}});
  showSheet().writeReviewButton()->click();
  EXPECT_EQ(workspace_->openedURLs(),
            std::vector<std::string>{"itms-apps://apps.app-store.example/app/id123456?action=write-review"});
  EXPECT_EQ(defaults_->objectForKey(kUserHasRatedAppKey), platform::Value(true));
  EXPECT_EQ(sheet_->missingReviewLinkAlert(), nullptr);
}

TEST_F(SettingsViewTest, TheSwitchStoresTheConsentAndTheServiceAppliesIt) {
  SettingsView& sheet = showSheet();
  ASSERT_TRUE(sheet.analyticsToggle()->isChecked());
  EXPECT_EQ(sheet.analyticsSymbol()->symbolName(), "checkmark.shield");
  sdk_->clearCalls();

  QTest::mouseClick(sheet.analyticsToggle(), Qt::LeftButton);
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), platform::Value(false));
  EXPECT_EQ(sheet.analyticsSymbol()->symbolName(), "xmark.shield");
  EXPECT_EQ(sdk_->calls(), (std::vector<AnalyticsSdkCall>{testing::setCollectionEnabledCall(false),
                                                          testing::resetAnalyticsDataCall()}));
  sdk_->clearCalls();

  QTest::mouseClick(sheet.analyticsToggle(), Qt::LeftButton);
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), platform::Value(true));
  EXPECT_EQ(sheet.analyticsSymbol()->symbolName(), "checkmark.shield");
  EXPECT_EQ(sdk_->calls(), (std::vector<AnalyticsSdkCall>{testing::setCollectionEnabledCall(true),
                                                          testing::logEventCall("app_open", std::nullopt)}));
}

TEST_F(SettingsViewTest, ASwitchThatCannotBeStoredSaysWhyUnderItUntilAChoiceIs) {
  preferencesRefuseWrites();
  SettingsView& sheet = showSheet();
  const auto* failure = sheet.findChild<QWidget*>(QStringLiteral("saveFailureBanner"));
  ASSERT_NE(failure, nullptr) << "the privacy card has room to say that a choice was not kept";
  EXPECT_FALSE(failure->isVisible());

  sheet.analyticsToggle()->click();
  EXPECT_FALSE(sheet.analyticsToggle()->isChecked()) << "the choice holds for this run";
  EXPECT_EQ(sdk_->calls().back(), testing::resetAnalyticsDataCall());
  ASSERT_TRUE(failure->isVisible());
  EXPECT_TRUE(
      failure->accessibleName().startsWith(QString::fromUtf8("Auswahl konnte nicht gespeichert werden: ")))
      << failure->accessibleName().toStdString();
  const std::string console = console_.str();
  EXPECT_EQ(std::count(console.begin(), console.end(), '\n'), 1) << console;
  EXPECT_TRUE(testing::nothingClipped(sheet));

  // Once the folder takes writes again, the next choice is stored and the strip goes.
  launch_.preferencesAcceptWrites("settings-test");
  sheet.analyticsToggle()->click();
  EXPECT_FALSE(failure->isVisible());
  EXPECT_TRUE(defaults_->synchronize());
}

TEST_F(SettingsViewTest, InATestRunOnlyTheSwitchWritesAndTheSdkIsLeftAlone) {
  becomeTestRun();
  SettingsView& sheet = showSheet();
  sheet.analyticsToggle()->click();
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), platform::Value(false));
  EXPECT_TRUE(sdk_->calls().empty());
}

TEST_F(SettingsViewTest, TheSwitchFollowsAConsentWrittenElsewhere) {
  SettingsView& sheet = showSheet();
  EXPECT_TRUE(defaults_->setObject(kAnalyticsEnabledKey, platform::Value(false)).ok());
  EXPECT_FALSE(sheet.analyticsToggle()->isChecked());
  EXPECT_EQ(sheet.analyticsSymbol()->symbolName(), "xmark.shield");
}

TEST_F(SettingsViewTest, FertigDismissesWithoutTouchingAnySetting) {
  EXPECT_TRUE(defaults_->setObject(kAnalyticsEnabledKey, platform::Value(false)).ok());
  SettingsView& sheet = showSheet();
  sdk_->clearCalls();
  EXPECT_EQ(sheet.doneButton()->text(), "Fertig");
  sheet.doneButton()->click();
  EXPECT_EQ(dismissals_, 1);
  EXPECT_EQ(defaults_->objectForKey(kAnalyticsEnabledKey), platform::Value(false));
  EXPECT_TRUE(sdk_->calls().empty());
}

TEST_F(SettingsViewTest, EachPresentationFetchesTheOtherAppsAnew) {
  showSheet();
  directory_->succeed({});
  dispatch_.drain();
  showSheet();
  EXPECT_EQ(directory_->requests().size(), 2u);
  EXPECT_EQ(directory_->requests().back(), otherAppIDs());
}

TEST_F(SettingsViewTest, LooksRightWithAppsLoaded) {
  std::vector<AppStoreApp> apps;
  const QColor colours[] = {QColor(0xFF, 0x9F, 0x0A), QColor(0x30, 0xD1, 0x58), QColor(0x5E, 0x5C, 0xE6)};
  int index = 0;
  for (const std::string& id : otherAppIDs()) {
    if (index == 3) break;
    AppStoreApp app;
    app.id = std::stoll(id);
    app.name = std::vector<std::string>{"Notizblick", "Fokuszeit", "Gewohnheitsfreund"}[index];
    app.genre = std::vector<std::string>{"Produktivität", "Produktivität", "Gesundheit und Fitness"}[index];
    app.appStoreURL = platform::Url::parse("https://apps.example/app/id" + id);
    const std::string art = "https://art.example/" + id + ".png";
    app.artworkURL = platform::Url::parse(art);
    if (index != 2) http_->responses[art] = {200, art, testing::pngBytes(128, 128, colours[index])};
    apps.push_back(app);
    index += 1;
  }
  SettingsView& sheet = showSheet();
  directory_->succeed(apps);
  dispatch_.drain();
  dispatch_.drain();
  testing::saveScreenshot(sheet);

  EXPECT_TRUE(testing::nothingClipped(sheet));
  const QStringList texts = testing::visibleTexts(sheet);
  for (const char* shown :
       {"Notizblick", "Fokuszeit", "Gewohnheitsfreund", "Im App Store bewerten", "Anonyme Nutzungsanalyse"}) {
    EXPECT_TRUE(texts.contains(QString::fromUtf8(shown)))
        << shown << " is not shown; shown: " << texts.join(QStringLiteral(" | ")).toStdString();
  }
}

TEST_F(SettingsViewTest, LooksRightWhileLoadingAndAfterAFailure) {
  SettingsView& sheet = showSheet();
  testing::saveScreenshot(sheet, "loading");
  EXPECT_TRUE(testing::nothingClipped(sheet));
  EXPECT_FALSE(testing::visibleTexts(sheet).contains(QString::fromUtf8("Konnte Apps nicht laden.")));
  directory_->fail(platform::Error("Transport", 7, "socket closed"));
  dispatch_.drain();
  sheet.analyticsToggle()->click();
  testing::saveScreenshot(sheet, "failed");
  EXPECT_TRUE(testing::nothingClipped(sheet));
  EXPECT_TRUE(testing::visibleTexts(sheet).contains(QString::fromUtf8("Konnte Apps nicht laden.")))
      << testing::visibleTexts(sheet).join(QStringLiteral(" | ")).toStdString();
  EXPECT_FALSE(sheet.analyticsToggle()->isChecked());
}

}  // namespace
}  // namespace velloran
