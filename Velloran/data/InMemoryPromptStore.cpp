#include "Velloran/data/InMemoryPromptStore.h"

#include <functional>
#include <vector>

#include "Velloran/data/PromptError.h"
#include "Velloran/data/PromptFilterMatching.h"
#include "platform/time/SystemClock.h"

namespace velloran {

InMemoryPromptStore::InMemoryPromptStore(std::shared_ptr<const platform::Clock> clock)
    : clock_(clock ? std::move(clock) : platform::SystemClock::sharedPointer()),
      actor_("Velloran.InMemoryPromptStore") {}

void InMemoryPromptStore::fetchPrompts(PromptFilter filter, Completion<PromptList> completion) {
  actor_.perform<PromptList>(
      [filter = std::move(filter)](State& state) -> platform::Result<PromptList> {
        // A plain list of the values: a values view of the map does not build with every compiler
        // the fuzz targets use.
        std::vector<std::reference_wrapper<const SharedPrompt>> prompts;
        prompts.reserve(state.prompts.size());
        for (const auto& [id, prompt] : state.prompts) prompts.push_back(prompt);
        return selectPrompts(filter, prompts);
      },
      std::move(completion));
}

void InMemoryPromptStore::savePrompt(Prompt prompt, Completion<void> completion) {
  actor_.perform<void>(
      [prompt = std::move(prompt)](State& state) -> platform::Result<void> {
        state.prompts.insert_or_assign(prompt.id, std::make_shared<const Prompt>(prompt));
        return {};
      },
      std::move(completion));
}

void InMemoryPromptStore::deletePrompt(std::vector<platform::UUID> ids, Completion<void> completion) {
  actor_.perform<void>(
      [ids = std::move(ids)](State& state) -> platform::Result<void> {
        for (const platform::UUID& id : ids) state.prompts.erase(id);
        return {};
      },
      std::move(completion));
}

template <class Change>
void InMemoryPromptStore::updatePrompt(platform::UUID promptId, Change change, Completion<void> completion) {
  actor_.perform<void>(
      [clock = clock_, promptId, change = std::move(change)](State& state) mutable -> platform::Result<void> {
        const auto stored = state.prompts.find(promptId);
        if (stored == state.prompts.end()) return makeError(PromptError::notFound);
        Prompt updated = *stored->second;
        change(updated);
        updated.updatedAt = clock->now();
        stored->second = std::make_shared<const Prompt>(std::move(updated));
        return {};
      },
      std::move(completion));
}

void InMemoryPromptStore::addVersion(PromptVersion version, platform::UUID promptId,
                                     Completion<void> completion) {
  updatePrompt(
      promptId, [version = std::move(version)](Prompt& prompt) { prompt.versions.push_back(version); },
      std::move(completion));
}

void InMemoryPromptStore::addRun(PromptRun run, platform::UUID promptId, Completion<void> completion) {
  updatePrompt(
      promptId, [run = std::move(run)](Prompt& prompt) { prompt.runs.push_back(run); },
      std::move(completion));
}

}  // namespace velloran
