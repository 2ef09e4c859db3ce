#include "platform/mirror/MirroredPersistentContainer.h"

#include "platform/time/SystemClock.h"

namespace platform {

MirroredPersistentContainer::MirroredPersistentContainer(std::string name,
                                                         std::shared_ptr<const ManagedObjectModel> model,
                                                         MirrorSettings settings)
    : MirroredPersistentContainer(std::move(name), std::move(model), std::move(settings),
                                  SystemClock::shared(), NotificationCenter::defaultCenter()) {}

MirroredPersistentContainer::MirroredPersistentContainer(std::string name,
                                                         std::shared_ptr<const ManagedObjectModel> model,
                                                         MirrorSettings settings, const Clock& clock,
                                                         NotificationCenter& notificationCenter)
    : PersistentContainer(std::move(name), std::move(model), clock, notificationCenter),
      settings_(std::move(settings)),
      clock_(clock),
      notificationCenter_(notificationCenter) {}

MirroredPersistentContainer::~MirroredPersistentContainer() {
  if (mirror_) mirror_->stop();
}

void MirroredPersistentContainer::importNow(CloudMirror::Done done) {
  runNow(&CloudMirror::importNow, std::move(done));
}

void MirroredPersistentContainer::exportNow(CloudMirror::Done done) {
  runNow(&CloudMirror::exportNow, std::move(done));
}

void MirroredPersistentContainer::runNow(void (CloudMirror::*operation)(CloudMirror::Done),
                                         CloudMirror::Done done) {
  if (mirror_) return (mirror_.get()->*operation)(std::move(done));
  if (done) mainQueue()->async([done] { done(Result<void>()); });
}

void MirroredPersistentContainer::persistentStoreDidLoad(const StoreDescription& description,
                                                         const std::shared_ptr<PersistentStore>& store) {
  if (!description.cloudMirrorOptions) return;
  if (!store->tracksHistory()) {
    throw ProgrammerError("MirrorWithoutHistory",
                          "a mirrored store must track persistent history; the mirror exports from it");
  }
  if (mirror_) mirror_->stop();
  mirror_ = CloudMirror::make(
      CloudMirror::Configuration{persistentStoreCoordinator(), store, settings_,
                                 description.cloudMirrorOptions->containerIdentifier, notificationSender()},
      clock_, notificationCenter_);
  mirror_->start();
}

void MirroredPersistentContainer::persistentStoreWillClose(const std::shared_ptr<PersistentStore>&) {
  if (mirror_) mirror_->stop(CloudMirror::Pending::exportFirst);
}

}  // namespace platform
