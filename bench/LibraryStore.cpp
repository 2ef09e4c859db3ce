#include "bench/LibraryStore.h"

#include <stdexcept>
#include <string>

#include "Velloran/persistence/BackgroundTask.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "bench/LibraryPrompts.h"
#include "platform/paths/ApplicationDirectories.h"

namespace velloran {
namespace {

std::shared_ptr<platform::PersistentContainer> openContainer(const std::filesystem::path& storeURL) {
  auto container =
      CoreDataStack::makePlainContainer(std::string(model::kModelName), CoreDataStack::makeModel());
  container->setPersistentStoreDescriptions({CoreDataStack::persistentStoreDescription(storeURL)});
  CoreDataStack::loadStores(storeURL, *container);
  return container;
}

// Saved in batches: a context's unsaved objects are looked through when versions are added, so one
// save of the whole library would cost the square of its size.
constexpr int kPromptsPerSave = 250;

void fill(platform::PersistentContainer& container, int prompts, int versions) {
  platform::Result<void> filled = performBackgroundTaskAndWait<void>(
      container, [prompts, versions](platform::ManagedObjectContext& context) -> platform::Result<void> {
        for (int index = 0; index < prompts; ++index) {
          const Prompt prompt = libraryPrompt(index, versions);
          platform::ManagedObject object = context.insertNewObject(model::kPromptEntity);
          if (auto written = writePromptFields(object, prompt); !written) return written;
          if (auto kept = keepVersions(context, object, prompt.versions, prompt.id); !kept) return kept;
          if ((index + 1) % kPromptsPerSave == 0) {
            if (auto saved = context.save(); !saved) return saved;
          }
        }
        return context.save();
      });
  if (!filled) throw std::runtime_error(filled.error().debugDescription());
}

}  // namespace

void writeLibraryFile(const std::filesystem::path& storeURL, int prompts, int versions) {
  fill(*openContainer(storeURL), prompts, versions);
}

void writeApplicationLibrary(int prompts, int versions) {
  platform::Result<std::filesystem::path> support = platform::applicationSupportDirectory();
  if (!support) throw std::runtime_error("no Application Support folder");
  std::filesystem::create_directories(*support);
  writeLibraryFile(*support / std::string(kStoreFileName), prompts, versions);
}

LibraryStore::LibraryStore(int prompts, int versions) {
  container_ = openContainer(folder_.path() / std::string(kStoreFileName));
  fill(*container_, prompts, versions);
}

std::shared_ptr<CoreDataPromptStore> LibraryStore::makeStore() const {
  return std::make_shared<CoreDataPromptStore>(container_);
}

}  // namespace velloran
