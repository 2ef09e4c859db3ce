#pragma once
// Shared by the tests of mirrored libraries: one machine's library as the application builds it
// (stack, prompt store, sync monitor) in its own Application Support folder, and a fixture whose
// libraries share one mirror folder, in one process on the deterministic backend.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "Velloran/data/SyncProblem.h"
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/testing/PersistenceTestSupport.h"
#include "Velloran/sync/tests/SyncTestSupport.h"
#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran::testing {

inline constexpr std::chrono::seconds kPoll{1};

// One machine's library. What the view model does with each successful event is done here too:
// process history, then take the event's flag; `taken` records the answers.
class Library {
 public:
  Library(const std::filesystem::path& mirrorRoot, platform::DeterministicDispatch& dispatch)
      : mirrorRoot_(mirrorRoot), dispatch_(dispatch) {
    open();
  }

  // Builds the stack, store and monitor anew over this machine's folder. The environment must
  // name this machine's folders (the last Library made, or reopened after it).
  void open() {
    close();
    stack_.emplace(false,
                   [this](std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
                     platform::MirrorSettings settings = platform::MirrorSettings::configured(mirrorRoot_);
                     settings.pollInterval = kPoll;
                     settings.adjustImport = renumberWrittenPrompts;
                     return std::make_shared<platform::MirroredPersistentContainer>(
                         std::move(name), std::move(model), settings, dispatch_.clock(), center_);
                   });
    store_ = std::make_shared<CoreDataPromptStore>(stack_->container(), dispatch_.sharedClock());
    CloudKitSyncService::Options options;
    options.tokenFile = support_.folder() / std::string(kHistoryTokenFileName);
    options.notificationCenter = &center_;
    monitor_ = CloudKitSyncService::make(stack_->container(), options);
    log_.emplace(*monitor_);
    monitorEvents_ = monitor_->observeEvents([this](const SyncEvent& event) { react(event); });
  }

  // Opens this machine's folders again after other libraries were made: the environment names them
  // while the library opens.
  void reopen() {
    platform::testing::ScopedEnvironment environment;
    platform::testing::setUserRootsBelow(environment, support_.folder().parent_path().parent_path());
    open();
  }

  RepositoryCalls calls() { return RepositoryCalls(dispatch_, *store_); }
  CloudKitSyncService& monitor() { return *monitor_; }
  const TemporaryApplicationSupport& support() const { return support_; }
  std::vector<SyncEvent> events() const { return log_->events; }
  // Lets go of the stack, store and monitor: the store file is closed.
  void close() {
    monitorEvents_.reset();
    log_.reset();
    monitor_.reset();
    store_.reset();
    stack_.reset();
  }

  const CoreDataStack& stack() const { return *stack_; }
  platform::UUID storeIdentifier() const {
    return stack_->container()->persistentStoreCoordinator()->persistentStore()->identifier();
  }

  std::vector<std::pair<SyncEvent::Type, bool>> taken;

 private:
  void react(const SyncEvent& event) {
    if (event.error || !event.succeeded) return;
    monitor_->processPersistentHistory([this, type = event.type](platform::Result<void>) {
      switch (type) {
        case SyncEvent::Type::Export:
          taken.emplace_back(type, monitor_->takePendingLocalChanges());
          break;
        case SyncEvent::Type::Import:
          taken.emplace_back(type, monitor_->takePendingRemoteChanges());
          break;
        case SyncEvent::Type::Setup:
          break;
      }
    });
  }

  std::filesystem::path mirrorRoot_;
  platform::DeterministicDispatch& dispatch_;
  TemporaryApplicationSupport support_;
  platform::NotificationCenter center_;
  std::optional<CoreDataStack> stack_;
  std::shared_ptr<CoreDataPromptStore> store_;
  std::shared_ptr<CloudKitSyncService> monitor_;
  std::optional<EventLog> log_;
  Subscription monitorEvents_;
};

class MirroredLibraryTest : public ::testing::Test {
 protected:
  MirroredLibraryTest() { std::filesystem::create_directories(root()); }

  std::filesystem::path root() const { return mirrorFolder.path() / "mirror"; }

  void sync(int polls = 2) {
    dispatch.drain();
    for (int i = 0; i < polls; ++i) dispatch.advance(kPoll);
  }

  static std::vector<std::string> contentsOf(const Prompt& prompt) {
    std::vector<std::string> contents;
    for (const PromptVersion& version : prompt.versions) contents.push_back(version.content);
    return contents;
  }

  // The prompt rows of a library's store file, read past the store.
  static std::int64_t promptRows(const Library& library) {
    return platform::testing::RawDatabase(library.support().storePath())
        .count("SELECT count(*) FROM ZPROMPTENTITY");
  }

  static std::vector<SyncEvent> failures(const std::vector<SyncEvent>& events) {
    std::vector<SyncEvent> failed;
    for (const SyncEvent& event : events) {
      if (event.error) failed.push_back(event);
    }
    return failed;
  }

  platform::DeterministicDispatch dispatch;
  platform::testing::TemporaryDirectory mirrorFolder;
};

using Taken = std::pair<SyncEvent::Type, bool>;

}  // namespace velloran::testing
