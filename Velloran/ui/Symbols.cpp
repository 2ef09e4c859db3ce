#include "Velloran/ui/Symbols.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QtMath>
#include <functional>
#include <map>

#include "platform/error/Error.h"

namespace velloran {
namespace {

// Every outline is drawn in a 24-unit square and filled; strokes become outlines first, so cut-outs
// and unions work the same for lines and shapes.
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
  bool first = true;
  for (const QPointF& point : points) {
    if (first) {
      path.moveTo(point);
      first = false;
    } else {
      path.lineTo(point);
    }
  }
  return path;
}

QPainterPath line(QPointF from, QPointF to, qreal width) {
  return strokeOf(polyline({from, to}), width);
}

QPainterPath circle(QPointF centre, qreal radius) {
  QPainterPath path;
  path.addEllipse(centre, radius, radius);
  return path;
}

QPainterPath roundedRect(const QRectF& rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

// The point at `degrees` on a circle, counted counter-clockwise from three o'clock on screen.
QPointF onCircle(QPointF centre, qreal radius, qreal degrees) {
  const qreal radians = qDegreesToRadians(degrees);
  return {centre.x() + radius * qCos(radians), centre.y() - radius * qSin(radians)};
}

QPainterPath arc(QPointF centre, qreal radius, qreal startDegrees, qreal sweepDegrees) {
  QPainterPath path;
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  path.arcMoveTo(box, startDegrees);
  path.arcTo(box, startDegrees, sweepDegrees);
  return path;
}

// A solid arrowhead whose tip lies `size` ahead of `base` along `direction`.
QPainterPath arrowHead(QPointF base, QPointF direction, qreal size) {
  const qreal length = std::hypot(direction.x(), direction.y());
  const QPointF along = direction / length;
  const QPointF across(-along.y(), along.x());
  QPainterPath path;
  path.moveTo(base + along * size);
  path.lineTo(base + across * size);
  path.lineTo(base - across * size);
  path.closeSubpath();
  return strokeOf(path, 0.8).united(path);
}

// The direction of travel at `degrees` on a circle; clockwise on screen when `clockwise`.
QPointF tangent(qreal degrees, bool clockwise) {
  const qreal radians = qDegreesToRadians(degrees);
  const QPointF clockwiseDirection(qSin(radians), qCos(radians));
  return clockwise ? clockwiseDirection : -clockwiseDirection;
}

QPainterPath fourPointStar(QPointF centre, qreal radius) {
  const qreal pinch = radius * 0.16;
  QPainterPath path;
  path.moveTo(centre.x(), centre.y() - radius);
  path.quadTo(centre.x() + pinch, centre.y() - pinch, centre.x() + radius, centre.y());
  path.quadTo(centre.x() + pinch, centre.y() + pinch, centre.x(), centre.y() + radius);
  path.quadTo(centre.x() - pinch, centre.y() + pinch, centre.x() - radius, centre.y());
  path.quadTo(centre.x() - pinch, centre.y() - pinch, centre.x(), centre.y() - radius);
  path.closeSubpath();
  return path;
}

QPainterPath filledCircleWithCut(const QPainterPath& cut) {
  return circle({12, 12}, 10.5).subtracted(cut);
}

QPainterPath ring() {
  return strokeOf(circle({12, 12}, 9.6), 1.7);
}

// Two crossing strokes, each reaching `reach` from the centre along a diagonal.
QPainterPath cross(QPointF centre, qreal reach, qreal width) {
  return line(centre - QPointF(reach, reach), centre + QPointF(reach, reach), width)
      .united(line(centre + QPointF(reach, -reach), centre + QPointF(-reach, reach), width));
}

// A check mark around `centre`, `scale` times the size of the one in a full circle.
QPainterPath tick(qreal scale, QPointF centre, qreal width) {
  return strokeOf(polyline({centre + QPointF(-4.2, 0.2) * scale, centre + QPointF(-1.2, 3.2) * scale,
                            centre + QPointF(4.2, -3.4) * scale}),
                  width);
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

QPainterPath gear() {
  QPainterPath body = circle({12, 12}, 7.2);
  for (int tooth = 0; tooth < 8; ++tooth) {
    QPainterPath spoke = roundedRect(QRectF(-2.1, -10.6, 4.2, 6), 1.1);
    QTransform turn;
    turn.translate(12, 12);
    turn.rotate(tooth * 45.0);
    body = body.united(turn.map(spoke));
  }
  return body.subtracted(circle({12, 12}, 3.2));
}

QPainterPath tapHand() {
  QPainterPath hand = roundedRect(QRectF(9.6, 9, 4.4, 10), 2.2);
  hand = hand.united(roundedRect(QRectF(8, 14.5, 11, 8), 3.2));
  hand = hand.united(roundedRect(QRectF(5.2, 14.8, 4, 5.5), 2));
  const QPainterPath ripples =
      strokeOf(arc({11.8, 8.5}, 3.6, 200, -220), 1.4).united(strokeOf(arc({11.8, 8.5}, 6.4, 195, -210), 1.4));
  return hand.united(ripples.subtracted(roundedRect(QRectF(8.6, 8, 6.4, 16), 3)));
}

QPainterPath documents(bool filled) {
  const QRectF back(8.5, 2.5, 11.5, 14.5);
  const QRectF front(4, 7, 11.5, 14.5);
  if (filled) {
    const QPainterPath backSheet =
        roundedRect(back, 2.2).subtracted(roundedRect(front.adjusted(-1.6, -1.6, 1.6, 1.6), 3.4));
    return backSheet.united(roundedRect(front, 2.2));
  }
  const QPainterPath frontOutline = strokeOf(roundedRect(front, 2.2), 1.6);
  const QPainterPath backOutline =
      strokeOf(roundedRect(back, 2.2), 1.6).subtracted(roundedRect(front.adjusted(-1, -1, 1, 1), 3));
  return frontOutline.united(backOutline);
}

QPainterPath warningTriangle() {
  const QPainterPath outline = polyline({{12, 3.2}, {21.6, 20}, {2.4, 20}});
  QPainterPath closed = outline;
  closed.closeSubpath();
  const QPainterPath triangle = strokeOf(closed, 2.2).united(closed);
  const QPainterPath mark = line({12, 9}, {12, 13.8}, 2.2).united(circle({12, 16.8}, 1.3));
  return triangle.subtracted(mark);
}

QPainterPath warningTriangleOutline() {
  QPainterPath triangle = polyline({{12, 3.4}, {21.4, 19.8}, {2.6, 19.8}});
  triangle.closeSubpath();
  const QPainterPath mark = line({12, 9.2}, {12, 13.8}, 2).united(circle({12, 16.6}, 1.2));
  return strokeOf(triangle, 1.7).united(mark);
}

QPainterPath counterclockwiseArrow() {
  const QPointF centre(12, 12.5);
  const qreal radius = 7.5;
  const QPainterPath bend = strokeOf(arc(centre, radius, 120, -300), 1.8);
  const QPointF tip = onCircle(centre, radius, 120) - QPointF(0.2, 0);
  QPainterPath head;
  head.moveTo(tip + QPointF(-3.8, -0.6));
  head.lineTo(tip + QPointF(1.4, -3.6));
  head.lineTo(tip + QPointF(1.6, 2.4));
  head.closeSubpath();
  return bend.united(strokeOf(head, 0.8).united(head));
}

QPainterPath shareArrow() {
  const QPainterPath box = polyline({{8.5, 9}, {5.5, 9}, {5.5, 21}, {18.5, 21}, {18.5, 9}, {15.5, 9}});
  const QPainterPath shaft = line({12, 3}, {12, 14.5}, 1.7);
  const QPainterPath head = strokeOf(polyline({{8.4, 6.4}, {12, 2.8}, {15.6, 6.4}}), 1.7);
  return strokeOf(box, 1.7).united(shaft).united(head);
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
  return strokeOf(hand, 1.7).united(strokeOf(roundedRect(QRectF(3.4, 10.4, 3.6, 10.4), 1), 1.7));
}

QPainterPath syncArrows() {
  const QPointF centre(12, 12);
  const qreal radius = 7.5;
  const QPainterPath upper = strokeOf(arc(centre, radius, 165, -130), 1.8);
  const QPainterPath lower = strokeOf(arc(centre, radius, 345, -130), 1.8);
  const QPainterPath upperHead = arrowHead(onCircle(centre, radius, 35), tangent(35, true), 3);
  const QPainterPath lowerHead = arrowHead(onCircle(centre, radius, 215), tangent(215, true), 3);
  return upper.united(lower).united(upperHead).united(lowerHead);
}

QPainterPath clockArrow() {
  const QPointF centre(12.5, 12);
  const qreal radius = 8.5;
  const QPainterPath ring = strokeOf(arc(centre, radius, 170, -290), 1.6);
  const QPainterPath head = arrowHead(onCircle(centre, radius, 170), tangent(170, false), 2.8);
  const QPainterPath hands = strokeOf(polyline({{12.5, 7.5}, {12.5, 12}, {15.8, 14}}), 1.6);
  return ring.united(head).united(hands);
}

QPainterPath bolt() {
  QPainterPath shape = polyline({{14, 2}, {5, 13.5}, {11.2, 13.5}, {9.8, 22}, {19, 10}, {12.8, 10}});
  shape.closeSubpath();
  return strokeOf(shape, 1.2).united(shape);
}

QPainterPath sparkles() {
  return fourPointStar({9.5, 14}, 8)
      .united(fourPointStar({18.5, 5.5}, 4))
      .united(fourPointStar({19, 17.5}, 2.8));
}

QPainterPath pencil() {
  QPainterPath local = roundedRect(QRectF(-6, -2.2, 12.5, 4.4), 0.6);
  QPainterPath tip;
  tip.moveTo(-6.8, -2.2);
  tip.lineTo(-10.5, 0);
  tip.lineTo(-6.8, 2.2);
  tip.closeSubpath();
  local = local.united(strokeOf(tip, 0.8).united(tip));
  local = local.united(roundedRect(QRectF(7.4, -2.2, 2.8, 4.4), 1.2));
  QTransform place;
  place.translate(12.5, 11.5);
  place.rotate(-45);
  return place.map(local);
}

QPainterPath trash() {
  QPainterPath bin = line({3.5, 6}, {20.5, 6}, 1.8);
  bin = bin.united(strokeOf(polyline({{9, 5.5}, {9.5, 3}, {14.5, 3}, {15, 5.5}}), 1.6));
  bin = bin.united(strokeOf(polyline({{5.8, 7}, {7, 20.5}, {17, 20.5}, {18.2, 7}}), 1.8));
  bin = bin.united(line({10, 10}, {10.3, 17.3}, 1.4)).united(line({14, 10}, {13.7, 17.3}, 1.4));
  return bin;
}

QPainterPath calendar() {
  const QRectF page(3, 4, 18, 17);
  QPainterPath shape = strokeOf(roundedRect(page, 2.6), 1.6);
  shape = shape.united(roundedRect(page, 2.6).intersected(roundedRect(QRectF(3, 4, 18, 5), 0)));
  shape = shape.united(line({8, 2.5}, {8, 5.5}, 1.6)).united(line({16, 2.5}, {16, 5.5}, 1.6));
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) {
      shape = shape.united(roundedRect(QRectF(6.5 + column * 4, 11.5 + row * 4, 2.6, 2.6), 0.6));
    }
  }
  return shape;
}

QPainterPath trayWithArrow() {
  QPainterPath tray;
  tray.moveTo(2.5, 13);
  tray.lineTo(8, 13);
  tray.lineTo(9.2, 15.6);
  tray.lineTo(14.8, 15.6);
  tray.lineTo(16, 13);
  tray.lineTo(21.5, 13);
  tray.lineTo(21.5, 19);
  tray.quadTo(21.5, 21, 19.5, 21);
  tray.lineTo(4.5, 21);
  tray.quadTo(2.5, 21, 2.5, 19);
  tray.closeSubpath();
  const QPainterPath arrow =
      line({12, 2.5}, {12, 11}, 2.2).united(strokeOf(polyline({{8.4, 7.8}, {12, 11.4}, {15.6, 7.8}}), 2.2));
  return tray.united(arrow);
}

using Outline = std::function<QPainterPath()>;

const std::map<QString, Outline>& outlines() {
  static const std::map<QString, Outline> table = {
      {QStringLiteral("plus"),
       [] {
         return line({12, 4}, {12, 20}, 2.4).united(line({4, 12}, {20, 12}, 2.4));
       }},
      {QStringLiteral("checkmark"),
       [] {
         return strokeOf(polyline({{5, 12.5}, {10, 17.5}, {19, 6.5}}), 2.4);
       }},
      {QStringLiteral("chevron.left"),
       [] {
         return strokeOf(polyline({{15, 4}, {7, 12}, {15, 20}}), 2.4);
       }},
      {QStringLiteral("xmark.circle.fill"),
       [] {
         return filledCircleWithCut(cross({12, 12}, 3.6, 2));
       }},
      {QStringLiteral("xmark.circle"),
       [] {
         return ring().united(cross({12, 12}, 3.6, 1.8));
       }},
      {QStringLiteral("checkmark.circle.fill"),
       [] {
         return filledCircleWithCut(tick(1, {12, 12}, 2.2));
       }},
      {QStringLiteral("arrow.up.right.circle.fill"),
       [] {
         return filledCircleWithCut(
             line({8.3, 15.7}, {15.4, 8.6}, 2.1)
                 .united(strokeOf(polyline({{9.6, 8.4}, {15.6, 8.4}, {15.6, 14.4}}), 2.1)));
       }},
      {QStringLiteral("chevron.down.circle.fill"),
       [] {
         return filledCircleWithCut(strokeOf(polyline({{7.5, 10}, {12, 14.5}, {16.5, 10}}), 2.2));
       }},
      {QStringLiteral("chevron.up.circle.fill"),
       [] {
         return filledCircleWithCut(strokeOf(polyline({{7.5, 14}, {12, 9.5}, {16.5, 14}}), 2.2));
       }},
      {QStringLiteral("line.3.horizontal.decrease.circle"),
       [] {
         return strokeOf(circle({12, 12}, 9.6), 1.6)
             .united(line({7.2, 8.6}, {16.8, 8.6}, 1.6))
             .united(line({8.8, 12}, {15.2, 12}, 1.6))
             .united(line({10.6, 15.4}, {13.4, 15.4}, 1.6));
       }},
      {QStringLiteral("gearshape"), gear},
      {QStringLiteral("magnifyingglass"),
       [] {
         return strokeOf(circle({10, 10}, 6), 2).united(line({14.6, 14.6}, {20, 20}, 2.6));
       }},
      {QStringLiteral("hand.tap"), tapHand},
      {QStringLiteral("doc.on.doc"), [] { return documents(false); }},
      {QStringLiteral("doc.on.doc.fill"), [] { return documents(true); }},
      {QStringLiteral("exclamationmark.triangle.fill"), warningTriangle},
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
      {QStringLiteral("arrow.triangle.2.circlepath"), syncArrows},
      {QStringLiteral("clock.arrow.circlepath"), clockArrow},
      {QStringLiteral("bolt.fill"), bolt},
      {QStringLiteral("sparkles"), sparkles},
      {QStringLiteral("pencil"), pencil},
      {QStringLiteral("trash"), trash},
      {QStringLiteral("calendar"), calendar},
      {QStringLiteral("tray.and.arrow.down.fill"), trayWithArrow},
  };
  return table;
}

// Outlines are built once per name: unions of curves are not cheap, and cards paint often.
const QPainterPath& outlineNamed(const QString& name) {
  static std::map<QString, QPainterPath> built;
  auto found = built.find(name);
  if (found != built.end()) return found->second;
  const auto recipe = outlines().find(name);
  if (recipe == outlines().end()) {
    throw platform::ProgrammerError("UnknownSymbol", "no symbol is named " + name.toStdString());
  }
  return built.emplace(name, recipe->second()).first->second;
}

class SymbolIconEngine final : public QIconEngine {
 public:
  SymbolIconEngine(QString name, QColor color) : name_(std::move(name)), color_(std::move(color)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    QColor color = color_;
    if (mode == QIcon::Disabled) color.setAlphaF(color.alphaF() * 0.35);
    const int side = std::min(rect.width(), rect.height());
    const QRectF square(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0, side,
                        side);
    paintSymbol(*painter, square, name_, color);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return picture;
  }

  QIconEngine* clone() const override { return new SymbolIconEngine(name_, color_); }

 private:
  QString name_;
  QColor color_;
};

}  // namespace

QStringList knownSymbolNames() {
  QStringList names;
  for (const auto& [name, recipe] : outlines()) names.append(name);
  return names;
}

bool isKnownSymbol(const QString& name) {
  return outlines().count(name) > 0;
}

void requireKnownSymbol(const QString& name) {
  outlineNamed(name);
}

void paintSymbol(QPainter& painter, const QRectF& square, const QString& name, const QColor& color) {
  const QPainterPath& outline = outlineNamed(name);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(square.topLeft());
  painter.scale(square.width() / kGrid, square.height() / kGrid);
  painter.fillPath(outline, color);
  painter.restore();
}

QIcon symbolIcon(const QString& name, const QColor& color) {
  requireKnownSymbol(name);  // here, not later inside a paint
  return QIcon(new SymbolIconEngine(name, color));
}

SymbolView::SymbolView(const QString& name, int pixelSize, const QColor& color, QWidget* parent)
    : QWidget(parent), pixelSize_(pixelSize) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setSymbol(name, color);
}

void SymbolView::setSymbol(const QString& name, const QColor& color) {
  requireKnownSymbol(name);
  name_ = name;
  color_ = color;
  setProperty("systemImage", name_);
  update();
}

QSize SymbolView::sizeHint() const {
  return {pixelSize_, pixelSize_};
}

void SymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int side = std::min(width(), height());
  paintSymbol(painter, QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side), name_, color_);
}

}  // namespace velloran
