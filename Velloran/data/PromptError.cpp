#include "Velloran/data/PromptError.h"

#include <string>

namespace velloran {

std::string_view localizedDescription(PromptError error) {
  switch (error) {
    case PromptError::notFound:
      return "Eintrag nicht gefunden.";
    case PromptError::invalidData:
      return "Ungültige Daten.";
    case PromptError::persistenceFailed:
      return "Persistenz fehlgeschlagen.";
    case PromptError::syncUnavailable:
      return "Sync aktuell nicht verfügbar.";
  }
  return {};
}

platform::Error makeError(PromptError error) {
  return platform::Error(std::string(kPromptErrorDomain), static_cast<std::int64_t>(error),
                         std::string(localizedDescription(error)));
}

std::optional<PromptError> promptError(const platform::Error& error) {
  if (error.domain != kPromptErrorDomain) return std::nullopt;
  if (error.code < static_cast<std::int64_t>(PromptError::notFound) ||
      error.code > static_cast<std::int64_t>(PromptError::syncUnavailable)) {
    return std::nullopt;
  }
  return static_cast<PromptError>(error.code);
}

}  // namespace velloran
