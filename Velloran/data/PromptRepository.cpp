#include "Velloran/data/PromptRepository.h"

#include <utility>

namespace velloran {

void PromptRepository::fetchAllTags(Completion<std::vector<std::string>> completion) {
  fetchPrompts(PromptFilter{},
               [completion = std::move(completion)](platform::Result<std::vector<Prompt>> fetched) {
                 if (!completion) return;
                 if (!fetched) return completion(fetched.error());
                 std::vector<std::string> tags;
                 for (Prompt& prompt : *fetched) {
                   for (std::string& tag : prompt.tags) tags.push_back(std::move(tag));
                 }
                 completion(std::move(tags));
               });
}

}  // namespace velloran
