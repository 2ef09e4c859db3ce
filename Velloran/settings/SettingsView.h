#pragma once
// The settings sheet: the large title "Einstellungen" and four cards on the sheet's gradient, in a
// vertical scroll area:
//   - review card: "Im App Store bewerten" (object name "writeReviewButton") opens the store's
//     write-review page through the review manager, or, when no usable store ID gives a link, shows
//     the alert "Bewertungs-Link fehlt" (one button "OK", which only closes it) and opens nothing;
//   - hint card;
//   - the other-apps section with a new model (one fetch per presentation);
//   - privacy card: the switch "Anonyme Nutzungsanalyse" (object name "analyticsToggle") bound to
//     "analyticsEnabled" (true while absent), its symbol "checkmark.shield" when on and
//     "xmark.shield" when off; a choice that cannot be stored is told under it in an error strip
//     (object name "saveFailureBanner") until a later one is stored.
// "Fertig" (object name "settingsDoneButton") runs `dismiss` and touches no setting.
//
// Each time the sheet is shown it applies the analytics collection setting. The switch forwards
// each click to AnalyticsConsent and shows every change of "analyticsEnabled" while the sheet
// exists, whoever wrote it.
//
// A plain widget, so any sheet host can show it; the presenter makes a new one per presentation.
// Main thread only.

#include <functional>
#include <memory>

#include "Velloran/analytics/AnalyticsConsent.h"
#include "Velloran/settings/SettingsEnvironment.h"
#include "Velloran/ui/SheetSurface.h"

class QMessageBox;
class QPushButton;
class QScrollArea;

namespace velloran {

class BoolPreferenceBinding;
class NoticeStrip;
class OtherAppsSection;
class SheetHeader;
class SymbolView;
class ToggleSwitch;

class SettingsView final : public SheetSurface {
 public:
  SettingsView(SettingsEnvironment environment, std::function<void()> dismiss, QWidget* parent = nullptr);
  ~SettingsView() override;

  QPushButton* doneButton() const;
  QPushButton* writeReviewButton() const { return writeReview_; }
  ToggleSwitch* analyticsToggle() const { return toggle_; }
  SymbolView* analyticsSymbol() const { return toggleSymbol_; }
  NoticeStrip* choiceFailure() const { return choiceFailure_; }
  OtherAppsSection* otherApps() const { return otherApps_; }
  QScrollArea* scrollArea() const { return scroll_; }
  // The "Bewertungs-Link fehlt" alert while it is shown, else nullptr.
  QMessageBox* missingReviewLinkAlert() const;

  QSize sizeHint() const override { return {640, 800}; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* makeReviewCard();
  QWidget* makeHintCard();
  QWidget* makePrivacyCard();
  void writeReview();
  void showMissingReviewLink();
  void consentChanged(bool enabled);
  AnalyticsConsent consent() const;
  void showConsent(bool enabled);

  SettingsEnvironment environment_;
  std::function<void()> dismiss_;
  std::unique_ptr<BoolPreferenceBinding> analyticsEnabled_;
  SheetHeader* header_;
  QScrollArea* scroll_;
  QPushButton* writeReview_ = nullptr;
  OtherAppsSection* otherApps_ = nullptr;
  ToggleSwitch* toggle_ = nullptr;
  SymbolView* toggleSymbol_ = nullptr;
  NoticeStrip* choiceFailure_ = nullptr;
  QMessageBox* alert_ = nullptr;
};

}  // namespace velloran
