#pragma once
// Shared by the sync monitor's tests: a container over an in-memory store that tracks history and
// posts remote-change notifications, on its own notification centre, with a monitor over it whose
// token file lies in a temporary folder; everything on the deterministic backend.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/VelloranModel.h"
#include "Velloran/sync/CloudKitSyncService.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/mirror/MirrorEvent.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran::testing {

using platform::testing::fileContents;

// Every event a monitor publishes, in order.
class EventLog {
 public:
  explicit EventLog(SyncMonitor& monitor)
      : subscription_(monitor.observeEvents([this](const SyncEvent& event) { events.push_back(event); })) {}

  std::vector<SyncEvent> events;

 private:
  Subscription subscription_;
};

class MonitorTest : public ::testing::Test {
 protected:
  MonitorTest() {
    platform::StoreDescription description;
    description.type = platform::StoreType::InMemory;
    description.setOption(platform::kPersistentHistoryTrackingOption, true);
    description.setOption(platform::kRemoteChangeNotificationPostOption, true);
    container->setPersistentStoreDescriptions({description});
  }

  void loadStore() {
    container->loadPersistentStores(
        [](const platform::StoreDescription&, const std::optional<platform::Error>& error) {
          ASSERT_FALSE(error) << error->debugDescription();
        });
  }

  std::shared_ptr<CloudKitSyncService> makeMonitor() {
    CloudKitSyncService::Options options;
    options.tokenFile = tokenFile();
    options.notificationCenter = &center;
    return CloudKitSyncService::make(container, options);
  }

  std::filesystem::path tokenFile() const { return folder.path() / "PersistentHistoryToken.data"; }
  platform::UUID storeIdentifier() const {
    return container->persistentStoreCoordinator()->persistentStore()->identifier();
  }

  // One transaction inserting a prompt, written with `author` (none: no author).
  void writePrompt(const std::optional<std::string>& author) {
    auto context = container->newBackgroundContext();
    context->setTransactionAuthor(author);
    context->insertNewObject(model::kPromptEntity);
    platform::Result<void> saved = context->save();
    ASSERT_TRUE(saved.ok()) << saved.error().debugDescription();
  }

  platform::Result<void> process(CloudKitSyncService& monitor) {
    return runToCompletion<void>(dispatch, [&](auto done) { monitor.processPersistentHistory(done); });
  }

  void postEvent(const platform::MirrorEvent& event) {
    center.post(std::string(platform::kMirrorEventChangedNotification), container->notificationSender(),
                platform::Dictionary{{std::string(platform::kMirrorEventUserInfoKey), event.toValue()}});
  }

  platform::DeterministicDispatch dispatch;
  platform::testing::TemporaryDirectory folder;
  platform::NotificationCenter center;
  std::shared_ptr<platform::PersistentContainer> container = std::make_shared<platform::PersistentContainer>(
      "VelloranModel", CoreDataStack::makeModel(), dispatch.clock(), center);
};

inline platform::MirrorEvent mirrorEvent(platform::MirrorEvent::Type type, bool ended, bool succeeded,
                                         std::optional<platform::Error> error = std::nullopt) {
  platform::MirrorEvent event;
  event.identifier = platform::UUID::random();
  event.type = type;
  event.startDate = platform::Date{700000000};
  if (ended) event.endDate = platform::Date{700000001};
  event.succeeded = succeeded;
  event.error = std::move(error);
  return event;
}

}  // namespace velloran::testing
