#include "Velloran/app/QtWorkspace.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QThread>
#include <QUrl>

namespace velloran {

bool QtWorkspace::openURL(std::string_view url) {
  const QUrl parsed(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())), QUrl::StrictMode);
  if (!parsed.isValid() || parsed.scheme().isEmpty()) return false;
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return false;
  if (QThread::currentThread() == application->thread()) return QDesktopServices::openUrl(parsed);
  QMetaObject::invokeMethod(
      application, [parsed] { QDesktopServices::openUrl(parsed); }, Qt::QueuedConnection);
  return true;
}

}  // namespace velloran
