#include "platform/locale/UserLocale.h"

#include <cmath>
#include <ctime>

#include "platform/process/ProcessInfo.h"

namespace platform {
namespace {

// "de_DE.UTF-8@euro" -> "de-DE"; nullopt for the portable locales and for an empty name.
std::optional<std::string> languageOfLocaleName(std::string name) {
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return std::nullopt;
  for (char& c : name) {
    if (c == '_') c = '-';
  }
  return name;
}

}  // namespace

std::optional<std::string> preferredLanguage() {
  if (std::optional<std::string> list = ProcessInfo::environmentValue("LANGUAGE"); list && !list->empty()) {
    if (auto first = languageOfLocaleName(list->substr(0, list->find(':')))) return first;
  }
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::optional<std::string> locale = ProcessInfo::environmentValue(variable);
    if (locale && !locale->empty()) return languageOfLocaleName(*locale);
  }
  return std::nullopt;
}

long localTimeZoneOffsetSeconds(Date at) {
  // tzset reads TZ afresh, so a zone changed while the process runs is seen.
  tzset();
  const auto seconds = static_cast<std::time_t>(std::floor(at.unixSeconds()));
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace platform
