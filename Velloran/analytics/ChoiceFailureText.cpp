#include "Velloran/analytics/ChoiceFailureText.h"

#include <cerrno>

namespace velloran {
namespace {

constexpr const char* kDiskFull = "Der Datenträger ist voll.";
constexpr const char* kReadOnly = "Der Einstellungsordner ist schreibgeschützt.";
constexpr const char* kNoPermission = "Keine Berechtigung, in den Einstellungsordner zu schreiben.";
constexpr const char* kNotWritable = "Der Einstellungsordner lässt sich nicht beschreiben.";
constexpr const char* kUntilQuit = " Die Auswahl gilt bis zum Beenden der App.";

const char* reasonFor(const platform::Error& error) {
  switch (error.systemErrorNumberInChain().value_or(0)) {
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
