#pragma once
// The symbols of the consent sheet, the settings sheet and the other-apps section. The library's
// symbol table (Velloran/views/Symbols.h) paints the names it knows; the names only these sheets
// use ("checkmark.shield", "hand.thumbsup", "square.and.arrow.up", ...) are drawn here from vector
// outlines in the same 24-unit square, so both sets look alike at every size.
//
// SheetSymbolView keeps its name in the dynamic property "systemImage", like the library's
// SymbolView, so tests can ask which symbol it shows.
//
// Main thread only.

#include <QColor>
#include <QIcon>
#include <QString>
#include <QWidget>

class QPainter;
class QRectF;

namespace velloran {

// True for every name sheetSymbolIcon and SheetSymbolView can paint (the library's and these).
bool isSheetSymbol(const QString& name);
// An unknown name is a programmer error (thrown).
void paintSheetSymbol(QPainter& painter, const QRectF& square, const QString& name, const QColor& color);
QIcon sheetSymbolIcon(const QString& name, const QColor& color);

class SheetSymbolView final : public QWidget {
 public:
  SheetSymbolView(const QString& name, int pixelSize, const QColor& color, QWidget* parent = nullptr);

  QString symbolName() const { return name_; }
  void setSymbol(const QString& name);

  QSize sizeHint() const override { return {pixelSize_, pixelSize_}; }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString name_;
  int pixelSize_;
  QColor color_;
};

}  // namespace velloran
