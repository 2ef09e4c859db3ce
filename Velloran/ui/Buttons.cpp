#include "Velloran/ui/Buttons.h"

#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/ui/UiText.h"

namespace velloran {
namespace {

void neverDefault(QPushButton& button) {
  button.setAutoDefault(false);
  button.setDefault(false);
}

}  // namespace

void styleProminentButton(QPushButton& button, const QColor& tint, bool large) {
  neverDefault(button);
  button.setCursor(Qt::PointingHandCursor);
  const int paddingY = large ? 8 : 5;
  button.setStyleSheet(
      QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: %2px;"
                     " padding: %3px 14px; font-weight: 600; }"
                     " QPushButton:pressed { background: %4; }"
                     " QPushButton:disabled { background: %5; color: rgba(255, 255, 255, 0.85); }")
          .arg(styleSheetColor(tint))
          .arg(large ? 8 : 6)
          .arg(paddingY)
          .arg(styleSheetColor(tint.darker(115)))
          .arg(styleSheetColor(withAlpha(tint, 0.35))));
}

void styleBorderedButton(QPushButton& button) {
  neverDefault(button);
  button.setCursor(Qt::PointingHandCursor);
  button.setStyleSheet(
      QStringLiteral("QPushButton { background: white; color: rgba(0, 0, 0, 0.85);"
                     " border: 1px solid rgba(0, 0, 0, 0.12); border-radius: 6px; padding: 4px 12px; }"
                     " QPushButton:pressed { background: rgba(0, 0, 0, 0.06); }"
                     " QPushButton:disabled { color: rgba(0, 0, 0, 0.3); }"));
}

QPushButton* makeButton(const QString& text, QWidget* parent, const QString& systemImage,
                        const QColor& symbolColor) {
  auto* button = new QPushButton(withoutMnemonic(text), parent);
  button->setFont(textFont(TextStyle::body));
  button->setAccessibleName(text);
  // Reached with Tab, but a click leaves the focus where it was: no focus ring lingers on a button
  // after it was clicked, nor after the sheet it closed has gone.
  button->setFocusPolicy(Qt::TabFocus);
  if (!systemImage.isEmpty()) {
    button->setIcon(symbolIcon(systemImage, symbolColor));
    button->setIconSize(QSize(14, 14));
  }
  neverDefault(*button);
  return button;
}

}  // namespace velloran
