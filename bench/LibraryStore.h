#pragma once
// A store file like the application's holding a library of benchmark prompts (LibraryPrompts.h),
// written in one transaction, under a temporary folder removed with it. Filling is setup, never what
// a benchmark measures.

#include <filesystem>
#include <memory>

#include "Velloran/persistence/CoreDataPromptStore.h"
#include "platform/pstore/PersistentContainer.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {

// Writes `prompts` prompts of `versions` versions each into the store file at `storeURL`, through
// a container of its own that is closed again when this returns.
void writeLibraryFile(const std::filesystem::path& storeURL, int prompts, int versions);
// The same, into the application's own store file in the current user's Application Support
// folder, where a launch finds it.
void writeApplicationLibrary(int prompts, int versions);

class LibraryStore {
 public:
  LibraryStore(int prompts, int versions);

  const std::shared_ptr<platform::PersistentContainer>& container() const { return container_; }
  // A new prompt store over the file: it has read nothing yet.
  std::shared_ptr<CoreDataPromptStore> makeStore() const;

 private:
  platform::testing::TemporaryDirectory folder_;
  // Closed before the folder goes.
  std::shared_ptr<platform::PersistentContainer> container_;
};

}  // namespace velloran
