#pragma once
// One app ID's heartbeat store: the HeartbeatsBundle kept in a byte store (a file, see FileStorage.h),
// with every read-modify-write run one at a time, in submission order, on the store's own serial
// queue "com.heartbeat.storage.<id>". Logging (asynchronous) and flushing (synchronous) from any
// thread therefore never interleave; each read-modify-write also holds its byte store's turn
// (Storage::takeTurn), so those of another process of the app never interleave with it either.
//
// Storages are shared per ID: sharedStorage hands every caller the one living storage of an ID, so
// there is never more than one queue writing an ID's file. The process-wide cache behind it holds
// storages weakly and is guarded by its own lock; a dying storage removes only its own entry, never
// one a newer storage of the same ID has put there. Work queued with updateAsync keeps its storage
// alive until it has run, so no write is lost when the last controller goes away first.
//
// Transforms run on the store's queue. updateSync, exchangeSync and waitForQueuedWork wait for them
// and must not be called from that queue (the dispatch layer refuses such a call with a ProgrammerError).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/error/Result.h"
#include "sdk-core/heartbeat/HeartbeatsBundle.h"
#include "sdk-core/heartbeat/Storage.h"

namespace beacon {

class HeartbeatStorageProtocol {
 public:
  // Takes the stored bundle (nullopt when nothing readable is stored) and returns the bundle to store
  // (nullopt clears the store).
  using Transform = std::function<std::optional<HeartbeatsBundle>(std::optional<HeartbeatsBundle>)>;

  virtual ~HeartbeatStorageProtocol() = default;

  // Load, transform, save, and wait for it. A failure to save is dropped.
  virtual void updateSync(const Transform& transform) = 0;
  // The same, queued without waiting.
  virtual void updateAsync(Transform transform) = 0;
  // Load, transform, save, and wait; returns the bundle as it was loaded. A failure to save is
  // returned instead.
  virtual platform::Result<std::optional<HeartbeatsBundle>> exchangeSync(const Transform& transform) = 0;
  // Waits until the work queued before has run.
  virtual void waitForQueuedWork() = 0;
};

class HeartbeatStorage final : public HeartbeatStorageProtocol,
                               public std::enable_shared_from_this<HeartbeatStorage> {
  struct Passkey {};

 public:
  // The living storage of `id`, or a new one over its file when none lives. Any thread.
  static std::shared_ptr<HeartbeatStorage> sharedStorage(const std::string& id);

  // A storage over any byte store, outside the shared cache: for callers that bring their own store.
  // Two of these over one byte store would each have their own queue; keep to one per store.
  static std::shared_ptr<HeartbeatStorage> make(std::string id, std::shared_ptr<Storage> storage);

  HeartbeatStorage(Passkey, std::string id, std::shared_ptr<Storage> storage);
  ~HeartbeatStorage() override;
  HeartbeatStorage(const HeartbeatStorage&) = delete;
  HeartbeatStorage& operator=(const HeartbeatStorage&) = delete;

  const std::string& id() const { return id_; }

  void updateSync(const Transform& transform) override;
  void updateAsync(Transform transform) override;
  platform::Result<std::optional<HeartbeatsBundle>> exchangeSync(const Transform& transform) override;
  void waitForQueuedWork() override;

 private:
  // On the queue only. An unreadable or undecodable store is an error; zero bytes are no bundle.
  platform::Result<std::optional<HeartbeatsBundle>> load() const;
  platform::Result<void> save(const std::optional<HeartbeatsBundle>& bundle) const;
  // Load (an error counts as no bundle), transform, save; returns what was loaded, or the failure to save.
  platform::Result<std::optional<HeartbeatsBundle>> update(const Transform& transform) const;

  const std::string id_;
  const std::shared_ptr<Storage> storage_;
  const platform::QueueRef queue_;
};

}  // namespace beacon
