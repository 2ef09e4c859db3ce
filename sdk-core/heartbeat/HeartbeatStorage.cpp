#include "sdk-core/heartbeat/HeartbeatStorage.h"

#include <map>
#include <mutex>
#include <utility>

#include "sdk-core/heartbeat/FileStorage.h"
#include "sdk-core/heartbeat/HeartbeatsBundleCoding.h"

namespace beacon {
namespace {

struct WeakContainer {
  std::weak_ptr<HeartbeatStorage> object;
};

struct InstanceCache {
  std::mutex mutex;
  std::map<std::string, WeakContainer, std::less<>> entries;
};

// Never destroyed: a storage kept alive by some static object may die after this cache would have,
// and its destructor still needs the cache.
InstanceCache& instanceCache() {
  static auto* cache = new InstanceCache;
  return *cache;
}

bool sameObject(const std::weak_ptr<HeartbeatStorage>& a, const std::weak_ptr<HeartbeatStorage>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

std::shared_ptr<HeartbeatStorage> HeartbeatStorage::sharedStorage(const std::string& id) {
  auto& cache = instanceCache();
  std::lock_guard lock(cache.mutex);
  auto& entry = cache.entries[id];
  if (auto living = entry.object.lock()) return living;
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const StorageFactory& storageForID = *new StorageFactory(FileStorage::storageForID);
  auto created = make(id, storageForID(id));
  entry.object = created;
  return created;
}

std::shared_ptr<HeartbeatStorage> HeartbeatStorage::make(std::string id, std::shared_ptr<Storage> storage) {
  return std::make_shared<HeartbeatStorage>(Passkey{}, std::move(id), std::move(storage));
}

HeartbeatStorage::HeartbeatStorage(Passkey, std::string id, std::shared_ptr<Storage> storage)
    : id_(std::move(id)),
      storage_(std::move(storage)),
      queue_(platform::makeSerialQueue("com.heartbeat.storage." + id_)) {}

HeartbeatStorage::~HeartbeatStorage() {
  // By now the cache's weak reference to this storage has expired, so sharedStorage may already have
  // put a newer storage of the same ID in its place; that entry must stay.
  auto& cache = instanceCache();
  std::lock_guard lock(cache.mutex);
  auto found = cache.entries.find(id_);
  if (found != cache.entries.end() && sameObject(found->second.object, weak_from_this())) {
    cache.entries.erase(found);
  }
}

void HeartbeatStorage::updateSync(const Transform& transform) {
  queue_->sync([&] { (void)update(transform); });
}

void HeartbeatStorage::updateAsync(Transform transform) {
  queue_->async(
      [self = shared_from_this(), transform = std::move(transform)] { (void)self->update(transform); });
}

platform::Result<std::optional<HeartbeatsBundle>> HeartbeatStorage::exchangeSync(const Transform& transform) {
  platform::Result<std::optional<HeartbeatsBundle>> result = std::optional<HeartbeatsBundle>{};
  queue_->sync([&] { result = update(transform); });
  return result;
}

void HeartbeatStorage::waitForQueuedWork() {
  queue_->sync([] {});
}

platform::Result<std::optional<HeartbeatsBundle>> HeartbeatStorage::update(const Transform& transform) const {
  const std::shared_ptr<void> turn = storage_->takeTurn();
  auto loaded = load();
  std::optional<HeartbeatsBundle> bundle = loaded ? std::move(*loaded) : std::nullopt;
  if (auto saved = save(transform(bundle)); !saved) return saved.error();
  return bundle;
}

platform::Result<std::optional<HeartbeatsBundle>> HeartbeatStorage::load() const {
  auto data = storage_->read();
  if (!data) return data.error();
  if (data->empty()) return std::optional<HeartbeatsBundle>{};
  auto bundle = decodeHeartbeatsBundle(*data);
  if (!bundle) return bundle.error();
  return std::optional<HeartbeatsBundle>(std::move(*bundle));
}

platform::Result<void> HeartbeatStorage::save(const std::optional<HeartbeatsBundle>& bundle) const {
  if (!bundle) return storage_->write(std::nullopt);
  auto data = encodeHeartbeatsBundle(*bundle);
  if (!data) return data.error();
  return storage_->write(*data);
}

}  // namespace beacon
