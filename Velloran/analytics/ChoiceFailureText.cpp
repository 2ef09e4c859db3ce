#include "Velloran/analytics/ChoiceFailureText.h"

#include <cerrno>
#include <cstdint>
#include <optional>

namespace velloran {
namespace {

constexpr const char* kDiskFull = "Der Datenträger ist voll.";
constexpr const char* kReadOnly = "Der Einstellungsordner ist schreibgeschützt.";
constexpr const char* kNoPermission = "Keine Berechtigung, in den Einstellungsordner zu schreiben.";
constexpr const char* kNotWritable = "Der Einstellungsordner lässt sich nicht beschreiben.";
constexpr const char* kUntilQuit = " Die Auswahl gilt bis zum Beenden der App.";

// The system's error number the failure or one of its causes carries, outermost first.
std::optional<std::int64_t> systemErrorNumber(const platform::Error& error) {
  for (const platform::Error* link = &error; link != nullptr; link = link->underlying.get()) {
    const auto found = link->userInfo.find("errno");
    if (found == link->userInfo.end()) continue;
    if (const std::int64_t* number = found->second.asInteger()) return *number;
  }
  return std::nullopt;
}

const char* reasonFor(const platform::Error& error) {
  switch (systemErrorNumber(error).value_or(0)) {
    case ENOSPC:
    case EDQUOT:
      return kDiskFull;
    case EROFS:
      return kReadOnly;
    case EACCES:
    case EPERM:
      return kNoPermission;
    default:
      return kNotWritable;
  }
}

}  // namespace

std::string choiceNotSavedMessage(const platform::Error& error) {
  return std::string(kChoiceNotSavedText) + reasonFor(error) + kUntilQuit;
}

}  // namespace velloran
