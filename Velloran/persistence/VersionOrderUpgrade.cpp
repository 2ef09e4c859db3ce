#include "Velloran/persistence/VersionOrderUpgrade.h"

#include <optional>
#include <string>
#include <vector>

#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"

namespace velloran {

using platform::ManagedObject;
using platform::Result;

Result<void> bringVersionOrderForward(platform::ManagedObjectContext& context) {
  const std::string key(kVersionOrderKey);
  Result<std::optional<std::string>> marked = context.metadataValue(key);
  if (!marked) return marked.error();
  if (*marked) return {};

  Result<std::vector<ManagedObject>> prompts =
      context.fetch(platform::FetchRequest{std::string(model::kPromptEntity)});
  if (!prompts) return prompts.error();
  // Nothing to bring forward, and nothing written: whatever comes into an empty store is written or
  // imported in stamp order, so a later start finds nothing to move either and marks it then.
  if (prompts->empty()) return {};
  Result<std::vector<std::vector<ManagedObject>>> together =
      context.relatedObjects(*prompts, model::kVersions);
  if (together) {
    for (const std::vector<ManagedObject>& members : *together) stampInNumberOrder(members);
  } else {
    // Read together they fail: prompt by prompt, leaving out those whose versions cannot be read.
    for (const ManagedObject& prompt : *prompts) {
      if (Result<std::vector<ManagedObject>> members = prompt.relatedObjects(model::kVersions))
        stampInNumberOrder(*members);
    }
  }
  context.setMetadataValue(key, std::string(kVersionOrderByStamp));
  return {};
}

}  // namespace velloran
