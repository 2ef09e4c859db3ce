#include "platform/error/Error.h"

namespace platform {

std::string Error::debugDescription() const {
  std::string text = domain + " " + std::to_string(code);
  if (!description.empty()) text += ": " + description;
  if (underlying) text += " (caused by " + underlying->debugDescription() + ")";
  return text;
}

}  // namespace platform
