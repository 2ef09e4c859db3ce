#pragma once
// The create sheet's form as the library view model takes it, and the prompt it becomes.
//  - A draft can be saved when its title and its text, each trimmed of white space and line
//    breaks, are both non-empty; tags and type play no part.
//  - The new prompt: a new id, the trimmed title, the type, isSystem exactly when the type is
//    `system`, the tags as they stand, createdAt and updatedAt read from the clock, and one
//    version: a new id, promptRef = the prompt's id, the trimmed text, empty notes, number 1,
//    createdAt read from the clock. No runs, no snippets.
// Plain values and pure functions (apart from the clock and random source they are given).

#include <string>
#include <vector>

#include "Velloran/data/PromptType.h"
#include "Velloran/data/PromptValues.h"
#include "platform/identity/RandomSource.h"
#include "platform/time/Clock.h"

namespace velloran {

struct PromptDraft {
  std::string title{};
  PromptType type = PromptType::system;
  std::vector<std::string> tags{};
  std::string content{};
};

bool canSave(const PromptDraft& draft);

Prompt makePrompt(const PromptDraft& draft, const platform::Clock& clock, platform::RandomSource& random);

}  // namespace velloran
