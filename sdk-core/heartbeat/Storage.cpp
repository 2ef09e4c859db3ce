#include "sdk-core/heartbeat/Storage.h"

#include <utility>

namespace beacon {

platform::Error storageError(StorageError code, std::string description,
                             std::optional<platform::Error> cause) {
  platform::Error error(std::string(kStorageErrorDomain), static_cast<std::int64_t>(code),
                        std::move(description));
  if (cause) error.causedBy(std::move(*cause));
  return error;
}

}  // namespace beacon
