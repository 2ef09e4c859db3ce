#include "Velloran/data/InMemorySnippetStore.h"

#include "Velloran/data/PromptFilterMatching.h"

namespace velloran {

InMemorySnippetStore::InMemorySnippetStore() : actor_("Velloran.InMemorySnippetStore") {}

void InMemorySnippetStore::fetchSnippets(std::optional<std::string> search,
                                         Completion<std::vector<Snippet>> completion) {
  actor_.perform<std::vector<Snippet>>(
      [search = std::move(search)](State& state) -> platform::Result<std::vector<Snippet>> {
        std::vector<Snippet> found;
        for (const auto& [id, snippet] : state.snippets) {
          if (!isSearchActive(search) || titleOrTagsContain(snippet.title, snippet.tags, *search)) {
            found.push_back(snippet);
          }
        }
        return found;
      },
      std::move(completion));
}

void InMemorySnippetStore::saveSnippet(Snippet snippet, Completion<void> completion) {
  actor_.perform<void>(
      [snippet = std::move(snippet)](State& state) -> platform::Result<void> {
        state.snippets.insert_or_assign(snippet.id, snippet);
        return {};
      },
      std::move(completion));
}

void InMemorySnippetStore::deleteSnippet(std::vector<platform::UUID> ids, Completion<void> completion) {
  actor_.perform<void>(
      [ids = std::move(ids)](State& state) -> platform::Result<void> {
        for (const platform::UUID& id : ids) state.snippets.erase(id);
        return {};
      },
      std::move(completion));
}

}  // namespace velloran
