#include "platform/error/Error.h"

namespace platform {

std::string Error::debugDescription() const {
  std::string text = domain + " " + std::to_string(code);
  if (!description.empty()) text += ": " + description;
  if (underlying) text += " (caused by " + underlying->debugDescription() + ")";
  return text;
}

std::optional<std::int64_t> Error::systemErrorNumber() const {
  const auto found = userInfo.find(std::string(kErrnoKey));
  if (found == userInfo.end()) return std::nullopt;
  const std::int64_t* number = found->second.asInteger();
  return number ? std::optional(*number) : std::nullopt;
}

std::optional<std::int64_t> Error::systemErrorNumberInChain() const {
  for (const Error* link = this; link != nullptr; link = link->underlying.get()) {
    if (std::optional<std::int64_t> number = link->systemErrorNumber()) return number;
  }
  return std::nullopt;
}

}  // namespace platform
