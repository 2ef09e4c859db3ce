#pragma once
// Prompts as another machine's journal carries them, for benchmarks that write a journal by hand
// rather than through a sending store: the prompt's line, stamped `clock`, then the line of its one
// version (a text of `textBytes` letters), stamped `clock + 1`. The prompt is titled
// "Prompt <index>" and dated by its index.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/identity/UUID.h"

namespace velloran {

std::vector<std::string> journalPromptLines(const platform::UUID& device, std::int64_t clock,
                                            std::size_t index, std::size_t textBytes);

}  // namespace velloran
