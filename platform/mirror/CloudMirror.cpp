#include "platform/mirror/CloudMirror.h"

#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/MirrorImport.h"
#include "platform/pstore/ManagedObjectContext.h"

namespace platform {
namespace {

// An import that keeps meeting fresh local changes gives way to the next poll after this many tries.
constexpr int kImportAttempts = 3;

std::string joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& text : texts) all += (all.empty() ? "" : "; ") + text;
  return all;
}

}  // namespace

std::shared_ptr<CloudMirror> CloudMirror::make(Configuration configuration, const Clock& clock,
                                               NotificationCenter& notificationCenter) {
  return std::shared_ptr<CloudMirror>(new CloudMirror(std::move(configuration), clock, notificationCenter));
}

CloudMirror::CloudMirror(Configuration configuration, const Clock& clock,
                         NotificationCenter& notificationCenter)
    : coordinator_(std::move(configuration.coordinator)),
      store_(configuration.store),
      device_(configuration.store->identifier()),
      folder_(configuration.settings, configuration.containerIdentifier),
      settings_(std::move(configuration.settings)),
      eventSender_(configuration.eventSender),
      clock_(clock),
      notificationCenter_(notificationCenter),
      queue_(makeSerialQueue("platform.mirror")) {}

void CloudMirror::start() {
  std::weak_ptr<CloudMirror> weak = weak_from_this();
  localChanges_ = notificationCenter_.addObserver(std::string(kRemoteChangeNotification),
                                                  coordinator_->notificationSender(), queue_,
                                                  [weak](const Notification&) {
                                                    if (auto mirror = weak.lock()) mirror->scheduleExport();
                                                  });
  mainQueue()->async([weak, queue = queue_] {
    queue->async([weak] {
      if (auto mirror = weak.lock()) mirror->runCycle();
    });
  });
}

void CloudMirror::stop() {
  stopped_ = true;
  localChanges_.remove();
  // Waits for an operation under way, and takes the timers down on the queue that owns them.
  queue_->sync([this] {
    pollTimer_.cancel();
    exportTimer_.cancel();
  });
}

bool CloudMirror::stillMirroring() {
  if (stopped_) return false;
  std::shared_ptr<PersistentStore> store = store_.lock();
  if (store && coordinator_->persistentStore() == store) return true;
  stopped_ = true;
  pollTimer_.cancel();
  exportTimer_.cancel();
  return false;
}

std::shared_ptr<ManagedObjectContext> CloudMirror::newContext() const {
  // Bound to the mirror's queue, so its work runs inline in the mirror's blocks.
  return ManagedObjectContext::make(coordinator_, ManagedObjectContext::ConcurrencyType::PrivateQueue,
                                    queue_);
}

void CloudMirror::runCycle() {
  if (!stillMirroring()) return;
  if (!setUp_) setUp();
  if (setUp_) {
    exportChanges();
    importChanges();
  }
  schedulePoll();
}

void CloudMirror::schedulePoll() {
  if (stopped_) return;
  std::weak_ptr<CloudMirror> weak = weak_from_this();
  pollTimer_ = Timer::schedule(queue_, Deadline::after(settings_.pollInterval), [weak] {
    if (auto mirror = weak.lock()) mirror->runCycle();
  });
}

void CloudMirror::scheduleExport() {
  if (stopped_) return;
  std::weak_ptr<CloudMirror> weak = weak_from_this();
  exportTimer_ = Timer::schedule(queue_, Deadline::after(settings_.exportDelay), [weak] {
    auto mirror = weak.lock();
    if (mirror && mirror->stillMirroring() && mirror->setUp_) mirror->exportChanges();
  });
}

void CloudMirror::setUp() {
  const Date start = clock_.now();
  Result<void> ready = folder_.prepare();
  if (ready) {
    Result<std::int64_t> stamp = MirrorBookkeeping(*newContext()).clock();
    if (stamp) {
      hybridClock_ = HybridLogicalClock(*stamp);
    } else {
      ready = stamp.error();
    }
  }
  setUp_ = ready.ok();
  finish(MirrorEvent::Type::Setup, start, ready);
}

void CloudMirror::exportChanges() {
  const Date start = clock_.now();
  std::shared_ptr<ManagedObjectContext> context = newContext();
  Result<PendingExport> pending = collectExport(*context, device_, hybridClock_);
  if (!pending) {
    finish(MirrorEvent::Type::Export, start, pending.error());
    return;
  }
  if (pending->entries.empty()) {
    // Only imported changes (or none): the token moves past them quietly. Should that fail, the
    // next export looks at them again, which costs nothing.
    if (pending->through) (void)commitExport(*pending, *context, folder_.journalFile(device_), hybridClock_);
    return;
  }
  Result<void> outcome = folder_.prepare();
  if (outcome) outcome = commitExport(*pending, *context, folder_.journalFile(device_), hybridClock_);
  finish(MirrorEvent::Type::Export, start, outcome);
}

void CloudMirror::importChanges() {
  const Date start = clock_.now();
  if (Result<void> ready = folder_.prepare(); !ready) {
    finish(MirrorEvent::Type::Import, start, ready);
    return;
  }
  for (int attempt = 0; attempt < kImportAttempts; ++attempt) {
    std::shared_ptr<ManagedObjectContext> context = newContext();
    Result<IncomingChanges> incoming = readIncoming(folder_, *context, device_);
    if (!incoming) {
      finish(MirrorEvent::Type::Import, start, incoming.error());
      return;
    }
    if (!incoming->foundAnything()) {
      lastFailure_[static_cast<std::size_t>(MirrorEvent::Type::Import)].reset();
      return;
    }
    Result<ImportOutcome> applied = applyIncoming(*incoming, *context, hybridClock_);
    if (!applied) {
      finish(MirrorEvent::Type::Import, start, applied.error());
      return;
    }
    if (*applied == ImportOutcome::Applied) {
      if (incoming->unreadable.empty()) {
        finish(MirrorEvent::Type::Import, start, Result<void>());
      } else {
        finish(MirrorEvent::Type::Import, start,
               cloudMirrorError(CloudMirrorErrorCode::UnreadableEntry,
                                std::to_string(incoming->unreadable.size()) +
                                    " journal entries could not be read and were skipped: " +
                                    joined(incoming->unreadable)),
               true);
      }
      return;
    }
    exportChanges();
  }
}

void CloudMirror::finish(MirrorEvent::Type type, Date startDate, const Result<void>& outcome,
                         bool alwaysReport) {
  std::optional<std::pair<std::string, std::int64_t>>& lastFailure =
      lastFailure_[static_cast<std::size_t>(type)];
  MirrorEvent event;
  event.identifier = UUID::random();
  event.storeIdentifier = device_;
  event.type = type;
  event.startDate = startDate;
  if (outcome) {
    lastFailure.reset();
  } else {
    std::pair<std::string, std::int64_t> failure{outcome.error().domain, outcome.error().code};
    if (!alwaysReport && lastFailure == failure) return;
    lastFailure = std::move(failure);
  }
  post(event);
  event.endDate = clock_.now();
  event.succeeded = outcome.ok();
  if (!outcome) event.error = outcome.error();
  post(event);
}

void CloudMirror::post(const MirrorEvent& event) {
  notificationCenter_.post(std::string(kMirrorEventChangedNotification), eventSender_,
                           Dictionary{{std::string(kMirrorEventUserInfoKey), event.toValue()}});
}

}  // namespace platform
