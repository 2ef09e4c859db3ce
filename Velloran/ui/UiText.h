#pragma once
// The text lookup of every widget: the app's texts are UTF-8 constants (ViewTexts.h for the library,
// SettingsTexts.h for the settings), turned into Qt strings here and nowhere else.

#include <QString>

namespace velloran {

inline QString uiText(const char* text) {
  return QString::fromUtf8(text);
}

// `format` with its one "%1" replaced by `value`, in a single pass.
inline QString fillText(const char* format, const QString& value) {
  return uiText(format).arg(value);
}

// The text for a button or menu entry: "&" shown as itself, never as a keyboard mnemonic.
inline QString withoutMnemonic(QString text) {
  return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace velloran
