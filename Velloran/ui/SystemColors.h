#pragma once
// The fixed system colours of the application's light appearance (the only appearance it has).

#include <QColor>

namespace velloran {

QColor windowBackgroundColor();   // behind every window's gradient
QColor controlBackgroundColor();  // text fields and editors
QColor accentBlueColor();
QColor accentPurpleColor();

}  // namespace velloran
