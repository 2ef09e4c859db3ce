#include "Velloran/views/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace velloran {

void QtClipboard::setString(const std::string& text) {
  // Mime data with the one format replaces every format the clipboard held before.
  auto* data = new QMimeData;
  data->setText(QString::fromStdString(text));
  QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

}  // namespace velloran
