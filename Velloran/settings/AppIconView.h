#pragma once
// An app's artwork, 54 x 54 points with corners of 12: the picture filling the square (aspect kept,
// overflow cut), or while it loads, after a failure and without a URL the placeholder - the
// "sparkles" symbol on the control background. A white 25 % hairline lies inside the edge and a
// soft shadow (black 12 %, blur 6, 3 down) beneath.
//
// The view starts its own load when made with a URL; a load that finishes after the view is gone is
// dropped. Main thread only.

#include <QImage>
#include <QWidget>
#include <optional>

#include "platform/net/Url.h"

namespace velloran {

class ArtworkLoader;

class AppIconView final : public QWidget {
 public:
  static constexpr int kSide = 54;

  // `loader` is used only inside the constructor; nothing is loaded without a URL.
  AppIconView(const std::optional<platform::Url>& url, ArtworkLoader& loader, QWidget* parent = nullptr);

  // True once a picture has arrived; false while the placeholder shows.
  bool showsArtwork() const { return !image_.isNull(); }

  QSize sizeHint() const override { return {kSide, kSide}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

}  // namespace velloran
