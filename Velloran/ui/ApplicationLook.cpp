#include "Velloran/ui/ApplicationLook.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include "Velloran/ui/SystemColors.h"

namespace velloran {
namespace {

// Where the Debian font package puts the family; loaded by path so that this exact file wins.
constexpr const char* kFontFolder = "/usr/share/fonts/truetype/dejavu/";
constexpr const char* kFontFiles[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf",
                                      "DejaVuSans-BoldOblique.ttf"};

bool loadFontFiles() {
  bool allLoaded = true;
  for (const char* file : kFontFiles) {
    if (QFontDatabase::addApplicationFont(QString::fromUtf8(kFontFolder) + QString::fromUtf8(file)) < 0) {
      allLoaded = false;
    }
  }
  return allLoaded;
}

QPalette lightPalette(const QPalette& base) {
  QPalette palette = base;
  palette.setColor(QPalette::Window, windowBackgroundColor());
  palette.setColor(QPalette::Base, controlBackgroundColor());
  palette.setColor(QPalette::Highlight, accentBlueColor());
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::Link, accentBlueColor());
  return palette;
}

}  // namespace

bool applyApplicationLook(QApplication& application) {
  QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
  application.setStyle(fusion);
  application.setPalette(lightPalette(fusion->standardPalette()));

  const bool fontLoaded = loadFontFiles();
  QFont font(QString::fromUtf8(kApplicationFontFamily));
  font.setPixelSize(kBodyFontPixelSize);
  // Unhinted, so glyph shapes and widths do not depend on the machine's font settings.
  font.setHintingPreference(QFont::PreferNoHinting);
  application.setFont(font);
  return fontLoaded;
}

}  // namespace velloran
