#include "Velloran/data/PromptRepository.h"

#include <utility>

namespace velloran {

void PromptRepository::fetchAllTags(Completion<std::vector<std::string>> completion) {
  fetchPrompts(PromptFilter{}, [completion = std::move(completion)](platform::Result<PromptList> fetched) {
    if (!completion) return;
    if (!fetched) return completion(fetched.error());
    std::vector<std::string> tags;
    for (const SharedPrompt& prompt : *fetched)
      tags.insert(tags.end(), prompt->tags.begin(), prompt->tags.end());
    completion(std::move(tags));
  });
}

}  // namespace velloran
