#include "Velloran/viewmodels/PromptDraft.h"

#include "platform/text/Characters.h"

namespace velloran {

bool canSave(const PromptDraft& draft) {
  return !platform::trimmed(draft.title).empty() && !platform::trimmed(draft.content).empty();
}

Prompt makePrompt(const PromptDraft& draft, const platform::Clock& clock, platform::RandomSource& random) {
  Prompt prompt;
  prompt.id = platform::UUID::random(random);
  prompt.title = platform::trimmed(draft.title);
  prompt.type = draft.type;
  prompt.tags = draft.tags;
  prompt.isSystem = draft.type == PromptType::system;
  prompt.createdAt = clock.now();
  prompt.updatedAt = clock.now();
  prompt.versions.push_back(PromptVersion{
      .id = platform::UUID::random(random),
      .promptRef = prompt.id,
      .content = platform::trimmed(draft.content),
      .notes = {},
      .versionNumber = 1,
      .createdAt = clock.now(),
  });
  return prompt;
}

}  // namespace velloran
