#pragma once
// Which text of a prompt leaves the application, and the rules that decide it. Trimmed means
// without white space and line breaks at either end. Pure functions, safe on any thread.

#include <string>

#include "Velloran/data/PromptValues.h"

namespace velloran {

// What a copy puts on the clipboard: the trimmed text of the newest version (the last in the
// list); the title, untrimmed, when that is empty or the prompt has no versions. Empty means there
// is nothing to copy.
std::string copyText(const Prompt& prompt);

// What is handed to the chat application: the trimmed text of the newest version, empty without
// versions. Never the title: a chat gets a prompt's text or nothing.
std::string chatText(const Prompt& prompt);

}  // namespace velloran
