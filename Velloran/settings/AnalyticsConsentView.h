#pragma once
// The sheet that asks once whether anonymous usage analytics may be collected. It only sets the
// consent it is bound to and asks its presenter to close it:
//   "Ja, anonym teilen"  (object name "analyticsConsentAccept"):  consent := true,  then dismiss;
//   "Nein, nicht teilen" (object name "analyticsConsentDecline"): consent := false, then dismiss;
//   "Schließen"          (object name "analyticsConsentClose"): dismiss only.
// The consent is written before the dismissal, so the presenter's change handling sees the new
// value even when it closes the sheet in the same turn. A choice that cannot be stored (`setConsent`
// answers why) keeps the sheet open and says why in an error strip above the footnote (object name
// "saveFailureBanner"), until a later choice is stored; "Schließen" still closes it.
//
// The presenter (the library window) binds `setConsent` to the stored "analyticsEnabled" and marks
// the sheet as shown when it presents it; this widget keeps no state of its own. It is a plain
// widget, so any sheet host can show it; a host that closes it by other means (Escape, a window's
// close button) must leave the consent alone, as "Schließen" does.
//
// Main thread only.

#include <functional>
#include <optional>
#include <string>

#include "Velloran/ui/SheetSurface.h"

class QPushButton;

namespace velloran {

class NoticeStrip;
class SheetHeader;

class AnalyticsConsentView final : public SheetSurface {
 public:
  // `setConsent` stores the choice and answers why it could not, if it could not.
  using ConsentSetter = std::function<std::optional<std::string>(bool)>;

  AnalyticsConsentView(ConsentSetter setConsent, std::function<void()> onDismiss, QWidget* parent = nullptr);

  QPushButton* acceptButton() const { return accept_; }
  QPushButton* declineButton() const { return decline_; }
  QPushButton* closeButton() const;
  NoticeStrip* failure() const { return failure_; }

  QSize sizeHint() const override { return {440, 430}; }

 private:
  void choose(bool consent);
  void dismiss();

  ConsentSetter setConsent_;
  std::function<void()> onDismiss_;
  SheetHeader* header_;
  QPushButton* accept_;
  QPushButton* decline_;
  NoticeStrip* failure_;
};

}  // namespace velloran
