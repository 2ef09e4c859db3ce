#pragma once
// The sheet that asks once whether anonymous usage analytics may be collected. It only sets the
// consent it is bound to and asks its presenter to close it:
//   "Ja, anonym teilen"  (object name "analyticsConsentAccept"):  consent := true,  then dismiss;
//   "Nein, nicht teilen" (object name "analyticsConsentDecline"): consent := false, then dismiss;
//   "Schließen"          (object name "analyticsConsentClose"): dismiss only.
// The consent is written before the dismissal, so the presenter's change handling sees the new
// value even when it closes the sheet in the same turn.
//
// The presenter (the library window) binds `setConsent` to the stored "analyticsEnabled" and marks
// the sheet as shown when it presents it; this widget keeps no state of its own. It is a plain
// widget, so any sheet host can show it; a host that closes it by other means (Escape, a window's
// close button) must leave the consent alone, as "Schließen" does.
//
// Main thread only.

#include <functional>

#include "Velloran/ui/SheetSurface.h"

class QPushButton;

namespace velloran {

class SheetHeader;

class AnalyticsConsentView final : public SheetSurface {
 public:
  AnalyticsConsentView(std::function<void(bool)> setConsent, std::function<void()> onDismiss,
                       QWidget* parent = nullptr);

  QPushButton* acceptButton() const { return accept_; }
  QPushButton* declineButton() const { return decline_; }
  QPushButton* closeButton() const;

  QSize sizeHint() const override { return {440, 430}; }

 private:
  void choose(bool consent);
  void dismiss();

  std::function<void(bool)> setConsent_;
  std::function<void()> onDismiss_;
  SheetHeader* header_;
  QPushButton* accept_;
  QPushButton* decline_;
};

}  // namespace velloran
