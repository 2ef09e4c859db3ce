#pragma once
// A listing of prompts that shares them instead of copying them: each entry points to a prompt no one
// changes any more, so a listing of thousands of prompts with all their versions is made, handed on
// and released without copying or freeing a single text. An entry is never null. A changed prompt is
// a new value behind a new pointer; the same pointer always means the same content.

#include <memory>
#include <vector>

#include "Velloran/data/PromptValues.h"

namespace velloran {

using SharedPrompt = std::shared_ptr<const Prompt>;
using PromptList = std::vector<SharedPrompt>;

}  // namespace velloran
