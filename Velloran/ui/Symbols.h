#pragma once
// The interface's symbols, painted by us and keyed by their symbol names ("gearshape", "trash",
// "chevron.down.circle.fill", ...): one table for the library and for the settings, consent and
// other-apps sheets ("checkmark.shield", "hand.thumbsup", ...). Each is drawn from vector outlines in
// a square, so it stays sharp at any size; a name ending in ".fill" is a solid shape with its inner
// detail cut out, so whatever lies beneath shows through.
//
// SymbolView shows one symbol and keeps its name in the dynamic property "systemImage", so tests
// and tools can ask which symbol a view shows.
//
// Main thread only.

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPainter;
class QRectF;

namespace velloran {

// Every name that paintSymbol knows.
QStringList knownSymbolNames();
bool isKnownSymbol(const QString& name);
// Throws a programmer error for a name paintSymbol does not know.
void requireKnownSymbol(const QString& name);

// Paints the symbol into `square` in `color`. An unknown name is a programmer error (thrown).
void paintSymbol(QPainter& painter, const QRectF& square, const QString& name, const QColor& color);

// The symbol as an icon for buttons and menu entries, drawn at whatever size Qt asks for.
QIcon symbolIcon(const QString& name, const QColor& color);

class SymbolView final : public QWidget {
  Q_OBJECT

 public:
  // A symbol `pixelSize` pixels square.
  SymbolView(const QString& name, int pixelSize, const QColor& color, QWidget* parent = nullptr);

  QString symbolName() const { return name_; }
  void setSymbol(const QString& name, const QColor& color);
  QColor color() const { return color_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString name_;
  int pixelSize_;
  QColor color_;
};

}  // namespace velloran
