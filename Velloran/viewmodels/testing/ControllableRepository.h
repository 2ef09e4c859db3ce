#pragma once
// Test double of PromptRepository over a real InMemoryPromptStore, for code whose behaviour depends
// on how the store answers: the test can make the next call of an operation fail, hold fetch
// results back and release them in any order (a store whose answers overtake each other), and read
// back the filters that were asked for.
//
// addVersion and addRun go straight to the store. Calls that are neither failed nor held behave
// exactly like the in-memory store: one at a time, in
// call order, completing on the main queue. Main thread only.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "Velloran/data/InMemoryPromptStore.h"
#include "Velloran/data/PromptRepository.h"

namespace velloran::testing {

class ControllableRepository final : public PromptRepository {
 public:
  enum class Operation { Fetch, Save, Delete };

  explicit ControllableRepository(std::shared_ptr<const platform::Clock> clock = nullptr);

  void fetchPrompts(PromptFilter filter, Completion<PromptList> completion) override;
  void savePrompt(Prompt prompt, Completion<void> completion) override;
  void deletePrompt(std::vector<platform::UUID> ids, Completion<void> completion) override;
  void addVersion(PromptVersion version, platform::UUID promptId, Completion<void> completion) override;
  void addRun(PromptRun run, platform::UUID promptId, Completion<void> completion) override;

  // The next call of `operation` fails with `error` without reaching the store.
  void failNext(Operation operation, platform::Error error);

  // While holding, fetch results are kept back once the store has produced them; each waits until
  // released. Releasing delivers the result to its caller at once, on the calling (main) thread.
  void holdFetches(bool hold) { holdFetches_ = hold; }
  std::size_t heldFetchCount() const { return heldFetches_->size(); }
  // `index` counts the held results in the order the store produced them.
  void releaseHeldFetch(std::size_t index);

  // The filters fetches were called with, in call order.
  const std::vector<PromptFilter>& fetchedFilters() const { return fetchedFilters_; }
  int saveCount() const { return saveCount_; }
  // The store behind the double, for arranging and inspecting its contents.
  InMemoryPromptStore& store() { return *store_; }

 private:
  struct HeldFetch {
    platform::Result<PromptList> result;
    Completion<PromptList> completion;
  };

  std::optional<platform::Error> takeFailure(Operation operation);

  std::shared_ptr<InMemoryPromptStore> store_;
  std::map<Operation, platform::Error> failures_;
  bool holdFetches_ = false;
  // Shared with the store's completions, which may run after the double is gone.
  std::shared_ptr<std::vector<std::shared_ptr<HeldFetch>>> heldFetches_ =
      std::make_shared<std::vector<std::shared_ptr<HeldFetch>>>();
  std::vector<PromptFilter> fetchedFilters_;
  int saveCount_ = 0;
};

}  // namespace velloran::testing
