#pragma once
// Keyed-archived objects in the keychain for one service: each object is a generic-password item
// whose account is the object's key. The last five objects read or written stay in memory, keyed
// by key alone, so repeated reads of the installation record do not go to the keychain.
//
// Every keychain call runs on the serial queue "com.cvu.KeychainStorage.Keychain", every cache
// access on "com.cvu.KeychainStorage.InMemoryCache"; results arrive as promises. A write that the
// keychain refuses also leaves the cache: the process never serves an object it could not store.
//
// Objects are of classes that can be archived and that unarchivedObject can read (KeyedArchive.h).

#include <list>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "installations/CVUKeychainUtils.h"
#include "platform/dispatch/Queue.h"
#include "platform/plist/KeyedArchive.h"
#include "promises/CVPPromise.h"

namespace beacon {

class CVUKeychainStorage : public std::enable_shared_from_this<CVUKeychainStorage> {
 public:
  static constexpr std::size_t kCacheCountLimit = 5;

  static std::shared_ptr<CVUKeychainStorage> initWithService(std::string service);

  // The object, or null when the keychain has none under the key. Data that does not unarchive as T
  // fails with the unarchiver's error, and the item is set aside (CVUKeychainUtils) so that the next
  // write under the key does not destroy it.
  template <class T>
  CVPPromise<std::shared_ptr<const T>> getObjectForKey(std::string key,
                                                       std::optional<std::string> accessGroup);
  // Stores `object` under the key, replacing what was there.
  CVPPromise<CVPUnit> setObject(std::shared_ptr<const platform::KeyedCodable> object, std::string key,
                                std::optional<std::string> accessGroup);
  // Removing a key that has no object succeeds.
  CVPPromise<CVPUnit> removeObjectForKey(std::string key, std::optional<std::string> accessGroup);

  const std::string& service() const { return service_; }

 private:
  using Object = std::shared_ptr<const platform::KeyedCodable>;

  explicit CVUKeychainStorage(std::string service);

  platform::KeychainQuery keychainQueryWithKey(const std::string& key,
                                               const std::optional<std::string>& accessGroup) const;
  // Cache queue only.
  Object cachedObject(const std::string& key);
  void cacheObject(const std::string& key, Object object);
  void evictObject(const std::string& key);
  // Keychain queue only: the data under the key, or nullopt.
  platform::Result<std::optional<platform::Bytes>> keychainData(
      const std::string& key, const std::optional<std::string>& accessGroup) const;

  const std::string service_;
  const platform::QueueRef keychainQueue_;
  const platform::QueueRef inMemoryCacheQueue_;
  // Most recently used first.
  std::list<std::pair<std::string, Object>> inMemoryCache_;
};

template <class T>
CVPPromise<std::shared_ptr<const T>> CVUKeychainStorage::getObjectForKey(
    std::string key, std::optional<std::string> accessGroup) {
  using Result = std::shared_ptr<const T>;
  auto self = shared_from_this();
  return CVPPromise<Result>::doWork(inMemoryCacheQueue_,
                                    [self, key]() -> CVPOutcome<Result> {
                                      Result cached =
                                          std::dynamic_pointer_cast<const T>(self->cachedObject(key));
                                      if (cached) return cached;
                                      return CVPPromiseError(kCVPPromiseErrorCodeValidationFailure);
                                    })
      .recover(keychainQueue_,
               [self, key, accessGroup](const platform::Error&) -> CVPOutcome<Result> {
                 platform::Result<std::optional<platform::Bytes>> data = self->keychainData(key, accessGroup);
                 if (!data) return data.error();
                 if (!*data) return Result();
                 platform::Result<std::shared_ptr<T>> object = platform::unarchivedObject<T>(**data);
                 if (!object) {
                   CVUKeychainUtils::setAsideUndecodableItemWithQuery(
                       self->keychainQueryWithKey(key, accessGroup));
                   return object.error();
                 }
                 return Result(*object);
               })
      .then(inMemoryCacheQueue_, [self, key](const Result& object) {
        if (object) self->cacheObject(key, object);
        return object;
      });
}

}  // namespace beacon
