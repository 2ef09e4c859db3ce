#pragma once
// Storage of snippets, shaped like PromptRepository: asynchronous, one operation at a time in call
// order, each completion called exactly once on the main queue (an empty completion is allowed).
//
//  - fetchSnippets: every snippet when the search is absent or empty; otherwise those whose title or
//    one of whose tags contains the text (localized case-insensitive containment, the same test as
//    for prompts); the content is not searched. The order is not defined.
//  - saveSnippet: insert or replace by id.
//  - deleteSnippet: removes each listed id that is present.

#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/Completion.h"
#include "Velloran/data/PromptValues.h"
#include "platform/identity/UUID.h"

namespace velloran {

class SnippetRepository {
 public:
  virtual ~SnippetRepository() = default;

  virtual void fetchSnippets(std::optional<std::string> search,
                             Completion<std::vector<Snippet>> completion) = 0;
  virtual void saveSnippet(Snippet snippet, Completion<void> completion) = 0;
  virtual void deleteSnippet(std::vector<platform::UUID> ids, Completion<void> completion) = 0;
};

}  // namespace velloran
