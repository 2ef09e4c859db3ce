#pragma once
// One app in the other-apps grid: a flat button showing the artwork, the name (at most three
// lines), the subtitle (at most two lines), the genre when it differs from the subtitle, and the
// "open" arrow, on a rounded control-background panel. Pressing it runs `onOpen`; a card that cannot be
// opened (no store page that may be opened) is disabled and runs nothing. Object name "otherAppCard-<id>".
//
// All texts come from a store reply and are shown as plain text. Main thread only.

#include <QAbstractButton>
#include <functional>

#include "Velloran/services/AppStoreApp.h"

namespace velloran {

class AppIconView;
class ArtworkLoader;
class ElidedLabel;

class OtherAppCard final : public QAbstractButton {
  Q_OBJECT

 public:
  OtherAppCard(const AppStoreApp& app, bool openable, ArtworkLoader& loader, std::function<void()> onOpen,
               QWidget* parent = nullptr);

  std::int64_t appID() const { return appID_; }
  AppIconView* icon() const { return icon_; }
  // The text lines shown, top to bottom: name, subtitle and, when shown, genre.
  QStringList textLines() const;

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::int64_t appID_;
  AppIconView* icon_;
  QList<ElidedLabel*> lines_;
};

// What the grid shows in place of a card while the first lookup runs: the artwork square and three
// bars in label colours on the card's panel, at least 80 pixels high.
class PlaceholderAppCard final : public QWidget {
  Q_OBJECT

 public:
  explicit PlaceholderAppCard(QWidget* parent = nullptr);

  QSize sizeHint() const override { return {220, 80}; }
  QSize minimumSizeHint() const override { return {0, 80}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace velloran
