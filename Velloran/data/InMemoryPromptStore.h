#pragma once
// A PromptRepository that keeps whole prompts (runs and snippets included) in memory and talks to
// no storage at all: the test double for code that needs a repository. A new store holds nothing;
// its contents are gone when it is released.
//
// It meets the PromptRepository contract, with two differences from the persistent store:
//  - addVersion and addRun fail with PromptError::notFound for an id that no prompt has (the store
//    is then unchanged);
//  - addRun appends the run to the prompt's runs and sets its `updatedAt` to the current time.
// Appended versions and runs are stored exactly as passed: not validated, not renumbered.
//
// Threads: an actor (StoreActor) with its own serial queue; completions on the main queue.

#include <memory>
#include <unordered_map>

#include "Velloran/data/PromptRepository.h"
#include "Velloran/data/StoreActor.h"
#include "platform/identity/UUID.h"
#include "platform/time/Clock.h"

namespace velloran {

class InMemoryPromptStore final : public PromptRepository {
 public:
  // `clock` gives "the current time" that addVersion and addRun stamp; the machine's clock when
  // not given.
  explicit InMemoryPromptStore(std::shared_ptr<const platform::Clock> clock = nullptr);

  void fetchPrompts(PromptFilter filter, Completion<PromptList> completion) override;
  void savePrompt(Prompt prompt, Completion<void> completion) override;
  void deletePrompt(std::vector<platform::UUID> ids, Completion<void> completion) override;
  void addVersion(PromptVersion version, platform::UUID promptId, Completion<void> completion) override;
  void addRun(PromptRun run, platform::UUID promptId, Completion<void> completion) override;

 private:
  struct State {
    // Keyed by each prompt's id; a change stores a new prompt, so listings handed out keep theirs.
    std::unordered_map<platform::UUID, SharedPrompt> prompts;
  };

  // Looks up the prompt, lets `change` alter a copy, stamps `updatedAt` and stores the copy.
  template <class Change>
  void updatePrompt(platform::UUID promptId, Change change, Completion<void> completion);

  std::shared_ptr<const platform::Clock> clock_;
  StoreActor<State> actor_;
};

}  // namespace velloran
