#include "Velloran/sync/CloudKitSyncService.h"

#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/sync/SyncErrorMapping.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran {
namespace {

std::optional<std::filesystem::path> tokenFileLocation(const std::optional<std::filesystem::path>& given) {
  if (given) return given;
  platform::Result<std::filesystem::path> support = platform::applicationSupportDirectory();
  if (!support) return std::nullopt;
  return *support / std::string(kHistoryTokenFileName);
}

void onMainQueue(std::function<void()> block) {
  platform::mainQueue()->async(std::move(block));
}

// The caller hears a failure in the app's terms (SyncErrorMapping.h).
platform::Result<void> inAppTerms(const platform::Result<void>& result) {
  if (result) return result;
  return platform::Result<void>(appSyncError(result.error()));
}

}  // namespace

std::shared_ptr<CloudKitSyncService> CloudKitSyncService::make(
    std::shared_ptr<platform::PersistentContainer> container) {
  return make(std::move(container), Options());
}

std::shared_ptr<CloudKitSyncService> CloudKitSyncService::make(
    std::shared_ptr<platform::PersistentContainer> container, Options options) {
  auto monitor = std::make_shared<CloudKitSyncService>(Passkey{}, std::move(container), std::move(options));
  // The task keeps the monitor until it has registered.
  onMainQueue([monitor] { monitor->startObservingRemoteChanges({}); });
  monitor->registerEventObserver();
  return monitor;
}

CloudKitSyncService::CloudKitSyncService(Passkey, std::shared_ptr<platform::PersistentContainer> container,
                                         Options options)
    : container_(std::move(container)),
      notificationCenter_(options.notificationCenter ? *options.notificationCenter
                                                     : platform::NotificationCenter::defaultCenter()),
      pendingChangesQueue_(platform::makeSerialQueue("CloudKitSyncService.pendingChanges")),
      tokens_(tokenFileLocation(options.tokenFile)) {}

void CloudKitSyncService::registerEventObserver() {
  std::weak_ptr<CloudKitSyncService> weak = weak_from_this();
  eventObserver_ = notificationCenter_.addObserver(
      std::string(platform::kMirrorEventChangedNotification), container_->notificationSender(),
      platform::mainQueue(), [weak](const platform::Notification& notification) {
        std::optional<platform::MirrorEvent> event = platform::MirrorEvent::fromNotification(notification);
        // An operation that has only started tells the application nothing yet.
        if (!event || !(event->endDate || event->error)) return;
        if (auto monitor = weak.lock()) monitor->eventsSubject_.emit(appSyncEvent(*event));
      });
}

void CloudKitSyncService::startObservingRemoteChanges(std::function<void()> completion) {
  auto self = shared_from_this();
  onMainQueue([self, completion = std::move(completion)] {
    std::weak_ptr<CloudKitSyncService> weak = self;
    self->remoteChangeObservers_.push_back(self->notificationCenter_.addObserver(
        std::string(platform::kRemoteChangeNotification),
        self->container_->persistentStoreCoordinator()->notificationSender(), platform::mainQueue(),
        [weak](const platform::Notification&) {
          if (auto monitor = weak.lock()) monitor->processPersistentHistory({});
        }));
    if (completion) completion();
  });
}

void CloudKitSyncService::pullChanges(Completion<void> completion) {
  auto self = shared_from_this();
  onMainQueue([self, completion = std::move(completion)] {
    platform::Result<void> current;
    self->container_->viewContext()->performAndWait(
        [&] { current = self->container_->viewContext()->setQueryGenerationFromCurrent(); });
    if (!current) {
      if (completion) completion(inAppTerms(current));
      return;
    }
    self->runMirror(&platform::MirroredPersistentContainer::importNow,
                    [self, completion = std::move(completion)](platform::Result<void> imported) {
                      if (!imported) {
                        if (completion) completion(inAppTerms(imported));
                        return;
                      }
                      self->processPersistentHistory(completion);
                    });
  });
}

void CloudKitSyncService::pushChanges(Completion<void> completion) {
  auto self = shared_from_this();
  onMainQueue([self, completion = std::move(completion)] {
    platform::Result<void> saved;
    const std::shared_ptr<platform::ManagedObjectContext>& view = self->container_->viewContext();
    view->performAndWait([&] {
      if (view->hasChanges()) saved = view->save();
    });
    if (!saved) {
      if (completion) completion(inAppTerms(saved));
      return;
    }
    self->runMirror(&platform::MirroredPersistentContainer::exportNow,
                    [completion = std::move(completion)](platform::Result<void> exported) {
                      if (completion) completion(inAppTerms(exported));
                    });
  });
}

void CloudKitSyncService::runMirror(
    void (platform::MirroredPersistentContainer::*operation)(platform::CloudMirror::Done),
    platform::CloudMirror::Done done) {
  if (auto* mirrored = dynamic_cast<platform::MirroredPersistentContainer*>(container_.get())) {
    (mirrored->*operation)(std::move(done));
  } else {
    done(platform::Result<void>());
  }
}

Subscription CloudKitSyncService::observeEvents(std::function<void(const SyncEvent&)> handler) {
  return eventsSubject_.connect(std::move(handler));
}

void CloudKitSyncService::processPersistentHistory(Completion<void> completion) {
  auto self = shared_from_this();
  onMainQueue([self, completion = std::move(completion)]() mutable {
    const std::optional<platform::HistoryToken> token = self->tokens_.current();
    std::shared_ptr<platform::ManagedObjectContext> context = self->container_->newBackgroundContext();
    context->perform([self, context, token, completion = std::move(completion)]() mutable {
      History history = self->fetchHistory(*context, token);
      onMainQueue([self, history = std::move(history), completion = std::move(completion)] {
        if (history) self->applyHistory(*history);
        if (!completion) return;
        if (history) {
          completion(platform::Result<void>());
        } else {
          completion(inAppTerms(history.error()));
        }
      });
    });
  });
}

CloudKitSyncService::History CloudKitSyncService::fetchHistory(
    platform::ManagedObjectContext& context, const std::optional<platform::HistoryToken>& token) {
  History history = context.fetchHistory(token);
  if (!history && token &&
      platform::isPersistentStoreError(history.error(),
                                       platform::PersistentStoreErrorCode::HistoryTokenExpired)) {
    tokens_.reset(*token);
    return context.fetchHistory(std::nullopt);
  }
  return history;
}

void CloudKitSyncService::applyHistory(const std::vector<platform::HistoryTransaction>& transactions) {
  if (transactions.empty()) return;
  if (std::shared_ptr<platform::PersistentStore> store =
          container_->persistentStoreCoordinator()->persistentStore()) {
    tokens_.advance(transactions.back().token, store->identifier());
  }
  bool local = false;
  bool remote = false;
  for (const platform::HistoryTransaction& transaction : transactions) {
    if (transaction.author == kTransactionAuthor) {
      local = true;
    } else {
      remote = true;
    }
  }
  pendingChangesQueue_->sync([&] {
    if (local) pendingLocalChanges_ = true;
    if (remote) pendingRemoteChanges_ = true;
  });
  const std::shared_ptr<platform::ManagedObjectContext>& view = container_->viewContext();
  view->performAndWait([&] {
    for (const platform::HistoryTransaction& transaction : transactions) {
      const platform::ObjectIDChanges changes = transaction.objectIDChanges();
      if (!changes.empty())
        platform::ManagedObjectContext::mergeChangesFromRemoteContextSave(changes, {view});
    }
  });
}

bool CloudKitSyncService::takePendingLocalChanges() {
  return take(pendingLocalChanges_);
}

bool CloudKitSyncService::takePendingRemoteChanges() {
  return take(pendingRemoteChanges_);
}

bool CloudKitSyncService::take(bool& flag) {
  bool value = false;
  pendingChangesQueue_->sync([&] {
    value = flag;
    flag = false;
  });
  return value;
}

}  // namespace velloran
