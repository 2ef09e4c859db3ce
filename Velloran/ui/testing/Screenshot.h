#pragma once
// Screenshots from widget tests, for people to look at: saved as PNG files in the "screenshots"
// folder beside the test program, named after the running test.
//
// Main thread, inside a running test.

#include <QString>

class QWidget;

namespace velloran::testing {

// Saves `widget` as it looks now to "<test program folder>/screenshots/<Suite>.<Test>.png", or
// "...<Test>-<name>.png" when a name is given, and answers the file's path. A widget that was
// never shown is shown first (layouts settle only in a shown window), and waiting layout and
// paint work is done before the grab. A failed save fails the running test.
QString saveScreenshot(QWidget& widget, const QString& name = {});

// The folder the screenshots go to.
QString screenshotFolder();

}  // namespace velloran::testing
