#include "Velloran/persistence/StoreWrite.h"

#include <string>

#include "Velloran/persistence/BackgroundTask.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran {
namespace {

platform::Result<void> writeOnce(platform::PersistentContainer& container, const StoreChange& change) {
  return performBackgroundTaskAndWait<void>(container, [&change](platform::ManagedObjectContext& context) {
    context.setTransactionAuthor(std::string(kTransactionAuthor));
    if (platform::Result<void> changed = change(context); !changed) return changed;
    return context.save();
  });
}

}  // namespace

platform::Result<void> writeToStore(platform::PersistentContainer& container, const StoreChange& change) {
  for (int run = 1;; ++run) {
    platform::Result<void> written = writeOnce(container, change);
    if (written || run == kStoreWriteTries ||
        !platform::isPersistentStoreError(written.error(), platform::PersistentStoreErrorCode::MergeConflict))
      return written;
  }
}

}  // namespace velloran
