#include "installations/CVUKeychainStorage.h"

namespace beacon {

std::shared_ptr<CVUKeychainStorage> CVUKeychainStorage::initWithService(std::string service) {
  return std::shared_ptr<CVUKeychainStorage>(new CVUKeychainStorage(std::move(service)));
}

CVUKeychainStorage::CVUKeychainStorage(std::string service)
    : service_(std::move(service)),
      keychainQueue_(platform::makeSerialQueue("com.cvu.KeychainStorage.Keychain")),
      inMemoryCacheQueue_(platform::makeSerialQueue("com.cvu.KeychainStorage.InMemoryCache")) {}

CVPPromise<CVPUnit> CVUKeychainStorage::setObject(Object object, std::string key,
                                                  std::optional<std::string> accessGroup) {
  auto self = shared_from_this();
  return CVPPromise<CVPUnit>::doWork(inMemoryCacheQueue_,
                                     [self, key, object] { self->cacheObject(key, object); })
      .then(keychainQueue_,
            [self, key, object, accessGroup](const CVPUnit&) -> CVPOutcome<CVPUnit> {
              platform::Result<platform::Bytes> data = platform::archivedData(*object);
              if (!data) return data.error();
              platform::Result<void> stored =
                  CVUKeychainUtils::setItem(*data, self->keychainQueryWithKey(key, accessGroup));
              if (!stored) return stored.error();
              return CVPUnit{};
            })
      .recover(inMemoryCacheQueue_, [self, key](const platform::Error& error) -> CVPOutcome<CVPUnit> {
        self->evictObject(key);
        return error;
      });
}

CVPPromise<CVPUnit> CVUKeychainStorage::removeObjectForKey(std::string key,
                                                           std::optional<std::string> accessGroup) {
  auto self = shared_from_this();
  return CVPPromise<CVPUnit>::doWork(inMemoryCacheQueue_, [self, key] { self->evictObject(key); })
      .then(keychainQueue_, [self, key, accessGroup](const CVPUnit&) -> CVPOutcome<CVPUnit> {
        platform::Result<void> removed =
            CVUKeychainUtils::removeItemWithQuery(self->keychainQueryWithKey(key, accessGroup));
        if (!removed) return removed.error();
        return CVPUnit{};
      });
}

platform::KeychainQuery CVUKeychainStorage::keychainQueryWithKey(
    const std::string& key, const std::optional<std::string>& accessGroup) const {
  platform::KeychainQuery query;
  query.itemClass = platform::KeychainItemClass::GenericPassword;
  query.service = service_;
  query.account = key;
  if (accessGroup && !accessGroup->empty()) query.accessGroup = accessGroup;
  return query;
}

CVUKeychainStorage::Object CVUKeychainStorage::cachedObject(const std::string& key) {
  for (auto entry = inMemoryCache_.begin(); entry != inMemoryCache_.end(); ++entry) {
    if (entry->first != key) continue;
    inMemoryCache_.splice(inMemoryCache_.begin(), inMemoryCache_, entry);
    return inMemoryCache_.front().second;
  }
  return nullptr;
}

void CVUKeychainStorage::cacheObject(const std::string& key, Object object) {
  evictObject(key);
  inMemoryCache_.emplace_front(key, std::move(object));
  if (inMemoryCache_.size() > kCacheCountLimit) inMemoryCache_.pop_back();
}

void CVUKeychainStorage::evictObject(const std::string& key) {
  inMemoryCache_.remove_if([&](const auto& entry) { return entry.first == key; });
}

platform::Result<std::optional<platform::Bytes>> CVUKeychainStorage::keychainData(
    const std::string& key, const std::optional<std::string>& accessGroup) const {
  return CVUKeychainUtils::getItemWithQuery(keychainQueryWithKey(key, accessGroup));
}

}  // namespace beacon
