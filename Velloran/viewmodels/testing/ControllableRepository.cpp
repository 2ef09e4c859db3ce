#include "Velloran/viewmodels/testing/ControllableRepository.h"

#include "platform/dispatch/Queue.h"

namespace velloran::testing {
namespace {

template <class T>
void failOnMainQueue(Completion<T> completion, platform::Error error) {
  platform::mainQueue()->async([completion = std::move(completion), error = std::move(error)] {
    if (completion) completion(error);
  });
}

}  // namespace

ControllableRepository::ControllableRepository(std::shared_ptr<const platform::Clock> clock)
    : store_(std::make_shared<InMemoryPromptStore>(std::move(clock))) {}

std::optional<platform::Error> ControllableRepository::takeFailure(Operation operation) {
  const auto failure = failures_.find(operation);
  if (failure == failures_.end()) return std::nullopt;
  platform::Error error = std::move(failure->second);
  failures_.erase(failure);
  return error;
}

void ControllableRepository::failNext(Operation operation, platform::Error error) {
  failures_.insert_or_assign(operation, std::move(error));
}

void ControllableRepository::fetchPrompts(PromptFilter filter, Completion<PromptList> completion) {
  fetchedFilters_.push_back(filter);
  if (auto error = takeFailure(Operation::Fetch))
    return failOnMainQueue(std::move(completion), std::move(*error));
  if (!holdFetches_) return store_->fetchPrompts(std::move(filter), std::move(completion));
  auto held = std::make_shared<HeldFetch>(HeldFetch{platform::Error(), std::move(completion)});
  store_->fetchPrompts(std::move(filter),
                       [heldFetches = heldFetches_, held](platform::Result<PromptList> result) {
                         held->result = std::move(result);
                         heldFetches->push_back(held);
                       });
}

void ControllableRepository::releaseHeldFetch(std::size_t index) {
  const std::shared_ptr<HeldFetch> held = heldFetches_->at(index);
  heldFetches_->erase(heldFetches_->begin() + static_cast<std::ptrdiff_t>(index));
  if (held->completion) held->completion(std::move(held->result));
}

void ControllableRepository::savePrompt(Prompt prompt, Completion<void> completion) {
  ++saveCount_;
  if (auto error = takeFailure(Operation::Save))
    return failOnMainQueue(std::move(completion), std::move(*error));
  store_->savePrompt(std::move(prompt), std::move(completion));
}

void ControllableRepository::deletePrompt(std::vector<platform::UUID> ids, Completion<void> completion) {
  if (auto error = takeFailure(Operation::Delete))
    return failOnMainQueue(std::move(completion), std::move(*error));
  store_->deletePrompt(std::move(ids), std::move(completion));
}

void ControllableRepository::addVersion(PromptVersion version, platform::UUID promptId,
                                        Completion<void> completion) {
  store_->addVersion(std::move(version), promptId, std::move(completion));
}

void ControllableRepository::addRun(PromptRun run, platform::UUID promptId, Completion<void> completion) {
  store_->addRun(std::move(run), promptId, std::move(completion));
}

}  // namespace velloran::testing
