#include "Velloran/app/GraphicalSession.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/process/ProcessInfo.h"
#include "platform/text/Format.h"

namespace velloran {
namespace {

std::optional<std::string> valueOf(const char* variable) {
  std::optional<std::string> value = platform::ProcessInfo::environmentValue(variable);
  if (value && value->empty()) return std::nullopt;
  return value;
}

QtMessageHandler previousHandler = nullptr;

void endOnFatalMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (previousHandler) previousHandler(type, context, message);
    return;
  }
  const std::string line = unreachableDisplayLine() + "\n";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  // Nothing of the application exists yet: there is nothing to finish or close.
  std::_Exit(1);
}

}  // namespace

bool hasGraphicalSession() {
  return valueOf("QT_QPA_PLATFORM") || valueOf("DISPLAY") || valueOf("WAYLAND_DISPLAY");
}

std::string unreachableDisplayLine() {
  std::optional<std::string> display = valueOf("DISPLAY");
  if (!display) display = valueOf("WAYLAND_DISPLAY");
  if (!display) display = valueOf("QT_QPA_PLATFORM");
  return platform::format(kUnreachableDisplayFormat, display.value_or(""));
}

UnreachableDisplayExit::UnreachableDisplayExit() {
  previousHandler = qInstallMessageHandler(endOnFatalMessage);
}

UnreachableDisplayExit::~UnreachableDisplayExit() {
  qInstallMessageHandler(previousHandler);
  previousHandler = nullptr;
}

}  // namespace velloran
