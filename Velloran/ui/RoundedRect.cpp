#include "Velloran/ui/RoundedRect.h"

#include <algorithm>

namespace velloran {

QPainterPath roundedRectPath(const QRectF& rect, qreal cornerRadius) {
  const qreal radius = std::clamp(cornerRadius, 0.0, std::min(rect.width(), rect.height()) / 2);
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

}  // namespace velloran
