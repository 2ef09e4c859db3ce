// The repository contract, met by the persistent store in memory (as under tests) and on disk (as
// in the application), with the store's two known differences.

#include <gtest/gtest.h>

#include <memory>

#include "Velloran/data/testing/PromptRepositoryContract.h"
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/testing/PersistenceTestSupport.h"

namespace velloran::testing {
namespace {

using Target = PromptRepositoryContractTarget;

Target storeTarget(std::string name, decltype(Target::makeRepository) makeRepository) {
  return {std::move(name), std::move(makeRepository), Target::UnknownPromptOnAddVersion::createsPrompt,
          Target::RunRecording::ignored};
}

// The store file lives in a temporary Application Support folder for as long as the store does.
struct StoreOnDisk {
  TemporaryApplicationSupport support;
  std::shared_ptr<CoreDataPromptStore> store;
};

INSTANTIATE_TEST_SUITE_P(
    Store, PromptRepositoryContract,
    ::testing::Values(storeTarget("InMemory",
                                  [](std::shared_ptr<const platform::Clock> clock) {
                                    return std::make_shared<CoreDataPromptStore>(
                                        CoreDataStack(true).container(), std::move(clock));
                                  }),
                      storeTarget("OnDisk",
                                  [](std::shared_ptr<const platform::Clock> clock) {
                                    auto onDisk = std::make_shared<StoreOnDisk>();
                                    onDisk->store = std::make_shared<CoreDataPromptStore>(
                                        CoreDataStack(false).container(), std::move(clock));
                                    return std::shared_ptr<PromptRepository>(onDisk, onDisk->store.get());
                                  })),
    contractTargetName);

}  // namespace
}  // namespace velloran::testing
