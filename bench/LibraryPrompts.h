#pragma once
// Prompts for filling a library at benchmark scale, the same for every store and mirror benchmark so
// their numbers compare: prompt `index` is titled "Prompt <index>" (every tenth "Code review <index>",
// which the search benchmark looks for), system and user prompts alternate, it carries two tags and
// `versions` versions, and its dates count up with the index.

#include "Velloran/data/PromptValues.h"

namespace velloran {

Prompt libraryPrompt(int index, int versions);

}  // namespace velloran
