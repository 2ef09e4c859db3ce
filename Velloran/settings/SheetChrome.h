#pragma once
// The pieces the consent and settings sheets share: the header bar with the sheet's one
// cancellation action, and the two full-width button looks.
//
// The cancellation action ("Schließen", "Fertig") sits at the leading end of the header. Escape is
// the sheet host's: it dismisses the sheet exactly as these actions do (nothing but the dismissal),
// and a second Escape shortcut here would make the key ambiguous. No button of a sheet is ever a
// default button: Return in a field never presses one.
//
// Main thread only.

#include <QPushButton>
#include <QString>
#include <QWidget>

class QLabel;

namespace velloran {

class SheetHeader final : public QWidget {
 public:
  // `title` may be empty (the settings sheet shows its title in the content). The cancellation
  // button gets `cancelObjectName`, so tests and tools find it.
  SheetHeader(const QString& title, const QString& cancelText, const QString& cancelObjectName,
              QWidget* sheet);

  QPushButton* cancelButton() const { return cancel_; }
  QString title() const;

 private:
  QPushButton* cancel_;
  QLabel* title_;
};

// The filled button of the main choice: white headline text and symbol on the accent blue.
QPushButton* makeProminentButton(const QString& text, const QString& symbol, QWidget* parent);
// The bordered button of the other choices: accent-blue text and symbol on a light fill.
QPushButton* makeBorderedButton(const QString& text, const QString& symbol, QWidget* parent);

}  // namespace velloran
