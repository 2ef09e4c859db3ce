#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "Velloran/analytics/AnalyticsConsent.h"
#include "Velloran/settings/AnalyticsConsentView.h"
#include "Velloran/settings/BoolPreferenceBinding.h"
#include "Velloran/settings/tests/SettingsTestBed.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/ui/testing/WidgetChecks.h"

namespace velloran {
namespace {

using testing::SettingsTestBed;

class BoolPreferenceBindingTest : public SettingsTestBed {
 protected:
  std::vector<bool> changes_;
  BoolPreferenceBinding binding_{defaults_, "analyticsEnabled", true,
                                 [this](bool value) { changes_.push_back(value); }};
};

TEST_F(BoolPreferenceBindingTest, ReadsTheDefaultWhileNothingIsStoredAndTheStoredValueAfterwards) {
  EXPECT_TRUE(binding_.value());
  binding_.setValue(false);
  EXPECT_FALSE(binding_.value());
  EXPECT_EQ(defaults_->objectForKey("analyticsEnabled"), platform::Value(false));
}

TEST_F(BoolPreferenceBindingTest, ReportsOnlyRealChangesWhoeverWroteThem) {
  binding_.setValue(true);  // absent counted as true: no change
  EXPECT_TRUE(defaults_->setObject("somethingElse", platform::Value(false)).ok());
  EXPECT_TRUE(changes_.empty());

  EXPECT_TRUE(defaults_->setObject("analyticsEnabled", platform::Value(false)).ok());  // another writer
  binding_.setValue(false);
  defaults_->removeObject("analyticsEnabled");  // back to the default
  EXPECT_EQ(changes_, (std::vector<bool>{false, true}));
}

TEST_F(BoolPreferenceBindingTest, IgnoresOtherDomainsAndStopsWithTheBinding) {
  EXPECT_TRUE(platform::PreferencesDomain::named("another-domain")
                  ->setObject("analyticsEnabled", platform::Value(false))
                  .ok());
  EXPECT_TRUE(changes_.empty());
  {
    BoolPreferenceBinding shortLived(defaults_, "analyticsEnabled", true,
                                     [](bool) { FAIL() << "binding is gone"; });
  }
  binding_.setValue(false);
  EXPECT_EQ(changes_, std::vector<bool>{false});
}

class AnalyticsConsentViewTest : public SettingsTestBed {
 protected:
  AnalyticsConsentViewTest() {
    view_ = std::make_unique<AnalyticsConsentView>(
        [this](bool consent) -> std::optional<std::string> {
          events_.push_back(consent ? "consent:true" : "consent:false");
          binding_.setValue(consent);
          return std::nullopt;
        },
        [this] { events_.push_back("dismiss"); });
    view_->resize(420, 440);
  }

  std::vector<std::string> events_;
  std::vector<bool> changes_;
  BoolPreferenceBinding binding_{defaults_, "analyticsEnabled", true,
                                 [this](bool value) { changes_.push_back(value); }};
  std::unique_ptr<AnalyticsConsentView> view_;
};

TEST_F(AnalyticsConsentViewTest, DeclineOnAFreshInstallStoresFalseBeforeDismissing) {
  view_->declineButton()->click();
  EXPECT_EQ(events_, (std::vector<std::string>{"consent:false", "dismiss"}));
  EXPECT_EQ(defaults_->objectForKey("analyticsEnabled"), platform::Value(false));
  EXPECT_EQ(changes_, std::vector<bool>{false});
}

TEST_F(AnalyticsConsentViewTest, AcceptWhileAlreadyGrantedWritesTrueWithoutAChange) {
  view_->acceptButton()->click();
  EXPECT_EQ(events_, (std::vector<std::string>{"consent:true", "dismiss"}));
  EXPECT_EQ(defaults_->objectForKey("analyticsEnabled"), platform::Value(true));
  EXPECT_TRUE(changes_.empty());
}

TEST_F(AnalyticsConsentViewTest, AChoiceThatCannotBeStoredKeepsTheSheetOpenAndSaysWhy) {
  preferencesRefuseWrites();
  int dismissals = 0;
  AnalyticsConsentView sheet([consent = AnalyticsConsent(defaults_, *analytics_)](
                                 bool enabled) mutable { return consent.choose(enabled); },
                             [&dismissals] { ++dismissals; });
  sheet.resize(420, 520);
  sheet.show();
  EXPECT_FALSE(sheet.failure()->isVisible());

  sheet.acceptButton()->click();
  EXPECT_EQ(dismissals, 0) << "the user must see that the choice was not kept";
  ASSERT_TRUE(sheet.failure()->isVisible());
  EXPECT_EQ(sheet.failure()->objectName(), QStringLiteral("saveFailureBanner"));
  EXPECT_EQ(sheet.failure()->message(),
            QString::fromUtf8("Auswahl konnte nicht gespeichert werden: Der Einstellungsordner lässt sich "
                              "nicht beschreiben. Die Auswahl gilt bis zum Beenden der App."));
  EXPECT_TRUE(console_.str().starts_with("Auswahl konnte nicht gespeichert werden: ")) << console_.str();
  EXPECT_TRUE(testing::nothingClipped(sheet));
  QApplication::processEvents();
  EXPECT_GE(sheet.failure()->height(), sheet.failure()->heightForWidth(sheet.failure()->width()))
      << "every line of the message shows";

  sheet.closeButton()->click();
  EXPECT_EQ(dismissals, 1);
}

TEST_F(AnalyticsConsentViewTest, CloseOnlyDismisses) {
  view_->closeButton()->click();
  EXPECT_EQ(events_, std::vector<std::string>{"dismiss"});
  EXPECT_FALSE(defaults_->objectForKey("analyticsEnabled").has_value());
}

TEST_F(AnalyticsConsentViewTest, ReturnPressesNoButton) {
  EXPECT_FALSE(view_->acceptButton()->autoDefault());
  EXPECT_FALSE(view_->declineButton()->autoDefault());
  EXPECT_FALSE(view_->closeButton()->autoDefault());
}

TEST_F(AnalyticsConsentViewTest, ShowsItsTextsInOrder) {
  EXPECT_EQ(view_->acceptButton()->text(), QString::fromUtf8("Ja, anonym teilen"));
  EXPECT_EQ(view_->declineButton()->text(), QString::fromUtf8("Nein, nicht teilen"));
  EXPECT_EQ(view_->closeButton()->text(), QString::fromUtf8("Schließen"));
  testing::saveScreenshot(*view_);
}

}  // namespace
}  // namespace velloran
