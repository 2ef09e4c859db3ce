#pragma once
// The text fields of the create sheet and the editor: a single-line field on the control
// background in a rounded rectangle (radius 12, padding 10), and a plain-text editor for prompt
// texts on a rounded rectangle (radius 16, padding 10, at least 180 high) with a faint shadow.
// The editor takes plain text only: pasted rich text arrives as its characters.
//
// Main thread only.

#include <QLineEdit>
#include <QPlainTextEdit>

namespace velloran {

QLineEdit* makeTitleField(const QString& objectName, const QString& placeholder, QWidget* parent);
QPlainTextEdit* makeContentEditor(const QString& objectName, QWidget* parent);

}  // namespace velloran
