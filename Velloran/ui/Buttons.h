#pragma once
// The looks of the views' push buttons. None of them is ever a default button: Return pressed in a
// text field must never press a button.
//
// Main thread only.

#include <QColor>
#include <QPushButton>
#include <QString>

namespace velloran {

// A filled button in `tint` with white text ("prominent"); large makes it taller.
void styleProminentButton(QPushButton& button, const QColor& tint, bool large = false);
// A light button with a thin border, for secondary actions such as "Abbrechen".
void styleBorderedButton(QPushButton& button);

// A push button with `text` shown as written (an "&" stays an "&"), optionally with a symbol.
QPushButton* makeButton(const QString& text, QWidget* parent, const QString& systemImage = {},
                        const QColor& symbolColor = Qt::white);

}  // namespace velloran
