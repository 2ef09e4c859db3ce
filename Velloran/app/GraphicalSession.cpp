#include "Velloran/app/GraphicalSession.h"

#include <optional>
#include <string>

#include "platform/process/ProcessInfo.h"

namespace velloran {
namespace {

bool isSet(const char* variable) {
  const std::optional<std::string> value = platform::ProcessInfo::environmentValue(variable);
  return value && !value->empty();
}

}  // namespace

bool hasGraphicalSession() {
  return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

}  // namespace velloran
