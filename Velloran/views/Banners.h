#pragma once
// The notices of the library window, placed and timed by the window:
//  - ToastBanner: "Prompt kopiert: …" with a copy symbol on a glass card; object name "copiedToast".
//  - SyncBannerView: the sync banner, a notice strip (NoticeStrip.h) showing the banner's message.
//    The create sheet and the editor say why a save failed in a strip of the same kind
//    (makeFailureStrip).
// Both show their text as plain text. Main thread only.

#include <QWidget>
#include <string>

#include "Velloran/ui/GlassCard.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/viewmodels/SyncBanner.h"

namespace velloran {

class ElidedLabel;

class ToastBanner final : public GlassCard {
  Q_OBJECT

 public:
  explicit ToastBanner(QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& text);

  // The toast's size when it may be at most `maximumWidth` wide: as wide as its text, wrapping
  // beyond that.
  QSize sizeFor(int maximumWidth) const;

 private:
  ElidedLabel* label_;
};

class SyncBannerView final : public NoticeStrip {
  Q_OBJECT

 public:
  explicit SyncBannerView(QWidget* parent = nullptr);

  void setBanner(const SyncBanner& banner);
};

}  // namespace velloran
