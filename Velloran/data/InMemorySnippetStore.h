#pragma once
// A SnippetRepository that keeps snippets in memory; nothing in the application uses it, it serves
// tests. A new store holds nothing; its contents are gone when it is released. Fetch results come
// in no defined order. No operation fails.
//
// Threads: an actor (StoreActor) with its own serial queue; completions on the main queue.

#include <unordered_map>

#include "Velloran/data/SnippetRepository.h"
#include "Velloran/data/StoreActor.h"
#include "platform/identity/UUID.h"

namespace velloran {

class InMemorySnippetStore final : public SnippetRepository {
 public:
  InMemorySnippetStore();

  void fetchSnippets(std::optional<std::string> search, Completion<std::vector<Snippet>> completion) override;
  void saveSnippet(Snippet snippet, Completion<void> completion) override;
  void deleteSnippet(std::vector<platform::UUID> ids, Completion<void> completion) override;

 private:
  struct State {
    std::unordered_map<platform::UUID, Snippet> snippets;  // keyed by each snippet's id
  };

  StoreActor<State> actor_;
};

}  // namespace velloran
