#include "Velloran/settings/SheetChrome.h"

#include <QHBoxLayout>
#include <QLabel>

#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/ui/UiText.h"

namespace velloran {
namespace {

constexpr int kChromeSymbolSize = 17;

QPushButton* makeWideButton(const QString& text, const QString& symbol, const QColor& foreground,
                            const QString& style, QWidget* parent) {
  auto* button = new QPushButton(withoutMnemonic(text), parent);
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setFont(textFont(TextStyle::headline));
  button->setIcon(symbolIcon(symbol, foreground));
  button->setIconSize(QSize(kChromeSymbolSize, kChromeSymbolSize));
  button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  button->setMinimumHeight(36);
  button->setCursor(Qt::PointingHandCursor);
  button->setStyleSheet(style);
  return button;
}

}  // namespace

SheetHeader::SheetHeader(const QString& title, const QString& cancelText, const QString& cancelObjectName,
                         QWidget* sheet)
    : QWidget(sheet) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(12, 10, 12, 6);

  cancel_ = new QPushButton(withoutMnemonic(cancelText), this);
  cancel_->setObjectName(cancelObjectName);
  cancel_->setAutoDefault(false);
  cancel_->setFocusPolicy(Qt::TabFocus);  // no focus ring left behind by a click
  cancel_->setFlat(true);
  cancel_->setCursor(Qt::PointingHandCursor);
  cancel_->setFont(textFont(TextStyle::body));
  cancel_->setStyleSheet(
      QStringLiteral("QPushButton { color: %1; border: none; padding: 4px 6px; }"
                     "QPushButton:pressed { color: %2; }")
          .arg(styleSheetColor(accentBlueColor()), styleSheetColor(accentBlueColor().darker(140))));

  title_ = new QLabel(title, this);
  title_->setTextFormat(Qt::PlainText);
  title_->setFont(textFont(TextStyle::headline));
  title_->setAlignment(Qt::AlignCenter);

  // The title stays centred: a spacer as wide as the button balances it on the trailing side.
  auto* balance = new QWidget(this);
  balance->setFixedWidth(cancel_->sizeHint().width());
  row->addWidget(cancel_);
  row->addWidget(title_, 1);
  row->addWidget(balance);
}

QString SheetHeader::title() const {
  return title_->text();
}

QPushButton* makeProminentButton(const QString& text, const QString& symbol, QWidget* parent) {
  const QColor blue = accentBlueColor();
  return makeWideButton(
      text, symbol, Qt::white,
      QStringLiteral("QPushButton { color: white; background: %1; border: none;"
                     " border-radius: 8px; padding: 8px 14px; }"
                     "QPushButton:hover { background: %2; }"
                     "QPushButton:pressed { background: %3; }")
          .arg(styleSheetColor(blue), styleSheetColor(blue.lighter(108)), styleSheetColor(blue.darker(120))),
      parent);
}

QPushButton* makeBorderedButton(const QString& text, const QString& symbol, QWidget* parent) {
  const QColor blue = accentBlueColor();
  return makeWideButton(text, symbol, blue,
                        QStringLiteral("QPushButton { color: %1; background: %2; border: none;"
                                       " border-radius: 8px; padding: 8px 14px; }"
                                       "QPushButton:pressed { background: %3; }")
                            .arg(styleSheetColor(blue), styleSheetColor(withAlpha(blue, 0.12)),
                                 styleSheetColor(withAlpha(blue, 0.22))),
                        parent);
}

}  // namespace velloran
