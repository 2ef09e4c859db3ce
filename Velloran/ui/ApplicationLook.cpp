#include "Velloran/ui/ApplicationLook.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <system_error>

#include "Velloran/ui/SystemColors.h"

namespace velloran {
namespace {

// The upright faces come with the family's core package, the slanted ones with its extra package.
constexpr FontFile kFontFiles[] = {{"DejaVuSans.ttf", "fonts-dejavu-core"},
                                   {"DejaVuSans-Bold.ttf", "fonts-dejavu-core"},
                                   {"DejaVuSans-Oblique.ttf", "fonts-dejavu-extra"},
                                   {"DejaVuSans-BoldOblique.ttf", "fonts-dejavu-extra"}};

QString fontPath(const std::filesystem::path& folder, const FontFile& file) {
  return QString::fromStdString((folder / file.name).string());
}

// Loaded by path so that these exact files win over any other font of the same family name.
bool loadFontFiles(const std::filesystem::path& folder) {
  bool allLoaded = true;
  for (const FontFile& file : kFontFiles) {
    if (QFontDatabase::addApplicationFont(fontPath(folder, file)) < 0) allLoaded = false;
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

std::vector<FontFile> missingFontFiles(const std::filesystem::path& folder) {
  std::vector<FontFile> missing;
  for (const FontFile& file : kFontFiles) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(folder / file.name, ignored)) missing.push_back(file);
  }
  return missing;
}

bool applyApplicationLook(QApplication& application, const std::filesystem::path& fontFolder) {
  QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
  application.setStyle(fusion);
  application.setPalette(lightPalette(fusion->standardPalette()));

  const bool fontLoaded = loadFontFiles(fontFolder);
  QFont font(QString::fromUtf8(kApplicationFontFamily));
  font.setPixelSize(kBodyFontPixelSize);
  // Unhinted, so glyph shapes and widths do not depend on the machine's font settings.
  font.setHintingPreference(QFont::PreferNoHinting);
  application.setFont(font);
  return fontLoaded;
}

}  // namespace velloran
