#include "platform/pstore/PersistentStoreError.h"

namespace platform {

Error persistentStoreError(PersistentStoreErrorCode code, std::string description, Dictionary userInfo) {
  return Error(std::string(kPersistentStoreErrorDomain), static_cast<std::int64_t>(code),
               std::move(description), std::move(userInfo));
}

}  // namespace platform
