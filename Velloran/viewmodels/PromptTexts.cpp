#include "Velloran/viewmodels/PromptTexts.h"

#include "platform/text/Characters.h"

namespace velloran {

std::string copyText(const Prompt& prompt) {
  std::string text = chatText(prompt);
  return text.empty() ? prompt.title : text;
}

std::string chatText(const Prompt& prompt) {
  if (prompt.versions.empty()) return {};
  return platform::trimmed(prompt.versions.back().content);
}

}  // namespace velloran
