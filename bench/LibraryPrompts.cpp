#include "bench/LibraryPrompts.h"

#include <string>

namespace velloran {

Prompt libraryPrompt(int index, int versions) {
  const platform::UUID id = platform::UUID::random();
  Prompt prompt{id,
                (index % 10 == 0 ? "Code review " : "Prompt ") + std::to_string(index),
                index % 2 == 0 ? PromptType::system : PromptType::user,
                {"team", "tag" + std::to_string(index % 50)},
                index % 2 == 0,
                platform::Date{double(index)},
                platform::Date{double(index)},
                {},
                {},
                {}};
  for (int number = 1; number <= versions; ++number) {
    prompt.versions.push_back(
        PromptVersion{platform::UUID::random(), id,
                      "Version " + std::to_string(number) + " of a prompt text of some length", "", number,
                      platform::Date{double(index)}});
  }
  return prompt;
}

}  // namespace velloran
