#include "sdk-core/heartbeat/UserDefaultsStorage.h"

namespace beacon {

UserDefaultsStorage::UserDefaultsStorage(std::shared_ptr<CVUUserDefaults> defaults, std::string key)
    : defaults_(std::move(defaults)), key_(std::move(key)) {}

platform::Result<platform::Bytes> UserDefaultsStorage::read() {
  const std::optional<platform::Value> stored = defaults_->objectForKey(key_);
  if (!stored || !stored->isBytes()) {
    return storageError(StorageError::readError, "No heartbeat data is stored under " + key_);
  }
  return *stored->asBytes();
}

platform::Result<void> UserDefaultsStorage::write(const std::optional<platform::Bytes>& data) {
  if (data) {
    defaults_->setObject(platform::Value(*data), key_);
  } else {
    defaults_->removeObjectForKey(key_);
  }
  return {};
}

}  // namespace beacon
