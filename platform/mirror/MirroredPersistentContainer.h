#pragma once
// A container whose stores can be mirrored to other machines: every store loaded from a description
// with cloud mirror options is mirrored through the mirror folder (CloudMirror.h), under a folder
// named by the options' container identifier. Stores without the options (an in-memory store for
// tests, say) are not mirrored; the container is otherwise a plain PersistentContainer.
//
// Mirroring starts with each load, including a load after the store was destroyed: the new store's
// mirror fills it again from the folder. The mirror's events are posted on the container's
// notification centre with the container as sender (MirrorEvent.h).
//
// A mirrored description must track persistent history (kPersistentHistoryTrackingOption): the
// mirror exports from it. Loading one that does not is a programmer error. For exports to follow
// local saves closely, also turn on kRemoteChangeNotificationPostOption; without it they wait for
// the next poll.
//
// A cycle the user asks for: importNow() and exportNow() run the mirror's import or export at once
// and answer its outcome on the main queue (CloudMirror.h); a store without a mirror has nothing to
// do and answers success.
//
// Closing the store (closePersistentStores) first lets the mirror export the local changes still
// waiting, then stops it: nothing of the mirror runs once the store is closed.
//
// Threads: as PersistentContainer. The clock and the notification centre must outlive the
// container; destroying the container stops its mirror.

#include <memory>
#include <string>

#include "platform/mirror/CloudMirror.h"
#include "platform/mirror/MirrorSettings.h"
#include "platform/pstore/PersistentContainer.h"

namespace platform {

class MirroredPersistentContainer : public PersistentContainer {
 public:
  MirroredPersistentContainer(std::string name, std::shared_ptr<const ManagedObjectModel> model,
                              MirrorSettings settings = MirrorSettings::fromEnvironment());
  MirroredPersistentContainer(std::string name, std::shared_ptr<const ManagedObjectModel> model,
                              MirrorSettings settings, const Clock& clock,
                              NotificationCenter& notificationCenter);
  ~MirroredPersistentContainer() override;

  // From the thread that loaded the store.
  void importNow(CloudMirror::Done done);
  void exportNow(CloudMirror::Done done);

 protected:
  void persistentStoreDidLoad(const StoreDescription& description,
                              const std::shared_ptr<PersistentStore>& store) override;
  void persistentStoreWillClose(const std::shared_ptr<PersistentStore>& store) override;

 private:
  void runNow(void (CloudMirror::*operation)(CloudMirror::Done), CloudMirror::Done done);

  MirrorSettings settings_;
  const Clock& clock_;
  NotificationCenter& notificationCenter_;
  std::shared_ptr<CloudMirror> mirror_;
};

}  // namespace platform
