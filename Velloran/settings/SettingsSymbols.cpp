#include "Velloran/settings/SettingsSymbols.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QtMath>
#include <functional>
#include <map>

#include "Velloran/views/Symbols.h"
#include "platform/error/Error.h"

namespace velloran {
namespace {

constexpr qreal kGrid = 24;

QPainterPath strokeOf(const QPainterPath& path, qreal width) {
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::RoundCap);
  stroker.setJoinStyle(Qt::RoundJoin);
  return stroker.createStroke(path).simplified();
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
  QPainterPath path;
  for (const QPointF& point : points) {
    if (path.elementCount() == 0) {
      path.moveTo(point);
    } else {
      path.lineTo(point);
    }
  }
  return path;
}

QPainterPath circle(QPointF centre, qreal radius) {
  QPainterPath path;
  path.addEllipse(centre, radius, radius);
  return path;
}

QPainterPath cross(QPointF centre, qreal reach, qreal width) {
  return strokeOf(polyline({centre - QPointF(reach, reach), centre + QPointF(reach, reach)}), width)
      .united(strokeOf(polyline({centre + QPointF(reach, -reach), centre + QPointF(-reach, reach)}), width));
}

QPainterPath tick(qreal scale, QPointF centre, qreal width) {
  return strokeOf(polyline({centre + QPointF(-4.2, 0.2) * scale, centre + QPointF(-1.2, 3.2) * scale,
                            centre + QPointF(4.2, -3.4) * scale}),
                  width);
}

QPainterPath filledDisc() {
  return circle({12, 12}, 10.5);
}

QPainterPath ring() {
  return strokeOf(circle({12, 12}, 9.6), 1.7);
}

// A shield outline with room for a mark inside.
QPainterPath shield() {
  QPainterPath outline;
  outline.moveTo(12, 2.6);
  outline.cubicTo(14.8, 4.4, 17.6, 5.2, 20, 5.2);
  outline.cubicTo(20, 13.6, 17.4, 18.6, 12, 21.4);
  outline.cubicTo(6.6, 18.6, 4, 13.6, 4, 5.2);
  outline.cubicTo(6.4, 5.2, 9.2, 4.4, 12, 2.6);
  outline.closeSubpath();
  return strokeOf(outline, 1.7);
}

QPainterPath warningTriangleOutline() {
  QPainterPath triangle = polyline({{12, 3.4}, {21.4, 19.8}, {2.6, 19.8}});
  triangle.closeSubpath();
  const QPainterPath mark = strokeOf(polyline({{12, 9.2}, {12, 13.8}}), 2).united(circle({12, 16.6}, 1.2));
  return strokeOf(triangle, 1.7).united(mark);
}

QPainterPath counterclockwiseArrow() {
  const QPointF centre(12, 12.5);
  const qreal radius = 7.5;
  QPainterPath bend;
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  bend.arcMoveTo(box, 120);
  bend.arcTo(box, 120, -300);
  QPainterPath head;
  const QPointF tip(centre.x() + radius * qCos(qDegreesToRadians(120.0)) - 0.2,
                    centre.y() - radius * qSin(qDegreesToRadians(120.0)));
  head.moveTo(tip + QPointF(-3.8, -0.6));
  head.lineTo(tip + QPointF(1.4, -3.6));
  head.lineTo(tip + QPointF(1.6, 2.4));
  head.closeSubpath();
  return strokeOf(bend, 1.8).united(strokeOf(head, 0.8).united(head));
}

QPainterPath shareArrow() {
  QPainterPath box = polyline({{8.5, 9}, {5.5, 9}, {5.5, 21}, {18.5, 21}, {18.5, 9}, {15.5, 9}});
  const QPainterPath shaft = strokeOf(polyline({{12, 3}, {12, 14.5}}), 1.7);
  const QPainterPath head = strokeOf(polyline({{8.4, 6.4}, {12, 2.8}, {15.6, 6.4}}), 1.7);
  return strokeOf(box, 1.7).united(shaft).united(head);
}

QPainterPath upRightArrowDisc() {
  const QPainterPath arrow = strokeOf(polyline({{8.3, 15.7}, {15.4, 8.6}}), 2.1)
                                 .united(strokeOf(polyline({{9.6, 8.4}, {15.6, 8.4}, {15.6, 14.4}}), 2.1));
  return filledDisc().subtracted(arrow);
}

QPainterPath thumbsUp() {
  QPainterPath hand;
  hand.moveTo(8.6, 10.4);
  hand.lineTo(11.8, 3.6);
  hand.cubicTo(13.6, 3.6, 14.6, 4.8, 14.2, 6.8);
  hand.lineTo(13.6, 9.6);
  hand.lineTo(18.6, 9.6);
  hand.cubicTo(20, 9.6, 20.8, 10.8, 20.4, 12.2);
  hand.lineTo(18.6, 19);
  hand.cubicTo(18.2, 20.2, 17.4, 20.8, 16.2, 20.8);
  hand.lineTo(8.6, 20.8);
  hand.closeSubpath();
  QPainterPath cuff;
  cuff.addRoundedRect(QRectF(3.4, 10.4, 3.6, 10.4), 1, 1);
  return strokeOf(hand, 1.7).united(strokeOf(cuff, 1.7));
}

using Outline = std::function<QPainterPath()>;

const std::map<QString, Outline>& outlines() {
  static const std::map<QString, Outline> table = {
      {QStringLiteral("checkmark.circle.fill"),
       [] {
         return filledDisc().subtracted(tick(1, {12, 12}, 2.2));
       }},
      {QStringLiteral("xmark.circle"),
       [] {
         return ring().united(cross({12, 12}, 3.6, 1.8));
       }},
      {QStringLiteral("arrow.up.right.circle.fill"), upRightArrowDisc},
      {QStringLiteral("exclamationmark.triangle"), warningTriangleOutline},
      {QStringLiteral("arrow.counterclockwise"), counterclockwiseArrow},
      {QStringLiteral("square.and.arrow.up"), shareArrow},
      {QStringLiteral("hand.thumbsup"), thumbsUp},
      {QStringLiteral("checkmark.shield"),
       [] {
         return shield().united(tick(0.78, {12, 11.6}, 1.8));
       }},
      {QStringLiteral("xmark.shield"),
       [] {
         return shield().united(cross({12, 11.4}, 2.8, 1.8));
       }},
  };
  return table;
}

const QPainterPath& outlineNamed(const QString& name) {
  static std::map<QString, QPainterPath> built;
  auto found = built.find(name);
  if (found != built.end()) return found->second;
  const auto recipe = outlines().find(name);
  if (recipe == outlines().end()) {
    throw platform::ProgrammerError("UnknownSymbol", "no sheet symbol is named " + name.toStdString());
  }
  return built.emplace(name, recipe->second()).first->second;
}

class SheetSymbolIconEngine final : public QIconEngine {
 public:
  SheetSymbolIconEngine(QString name, QColor color) : name_(std::move(name)), color_(std::move(color)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    QColor color = color_;
    if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.35);
    const int side = std::min(rect.width(), rect.height());
    paintSheetSymbol(
        *painter,
        QRectF(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0, side, side),
        name_, color);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return picture;
  }

  QIconEngine* clone() const override { return new SheetSymbolIconEngine(name_, color_); }

 private:
  QString name_;
  QColor color_;
};

// Throws for a name neither table knows; called where the name is given, not later in a paint.
void requireSheetSymbol(const QString& name) {
  if (!isSheetSymbol(name)) outlineNamed(name);
}

}  // namespace

bool isSheetSymbol(const QString& name) {
  return isKnownSymbol(name) || outlines().count(name) > 0;
}

void paintSheetSymbol(QPainter& painter, const QRectF& square, const QString& name, const QColor& color) {
  if (isKnownSymbol(name)) {
    paintSymbol(painter, square, name, color);
    return;
  }
  const QPainterPath& outline = outlineNamed(name);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(square.topLeft());
  painter.scale(square.width() / kGrid, square.height() / kGrid);
  painter.fillPath(outline, color);
  painter.restore();
}

QIcon sheetSymbolIcon(const QString& name, const QColor& color) {
  requireSheetSymbol(name);
  return QIcon(new SheetSymbolIconEngine(name, color));
}

SheetSymbolView::SheetSymbolView(const QString& name, int pixelSize, const QColor& color, QWidget* parent)
    : QWidget(parent), pixelSize_(pixelSize), color_(color) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setSymbol(name);
}

void SheetSymbolView::setSymbol(const QString& name) {
  requireSheetSymbol(name);
  name_ = name;
  setProperty("systemImage", name_);
  update();
}

void SheetSymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int side = std::min(width(), height());
  paintSheetSymbol(painter, QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side), name_,
                   color_);
}

}  // namespace velloran
