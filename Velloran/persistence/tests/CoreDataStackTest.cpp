#include "Velloran/persistence/CoreDataStack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "Velloran/persistence/VelloranModel.h"
#include "Velloran/persistence/testing/PersistenceTestSupport.h"
#include "platform/mirror/MirrorSettings.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/pstore/PersistentStore.h"
#include "platform/pstore/testing/FullDisk.h"
#include "platform/testing/ProcessesAtOnce.h"

namespace velloran::testing {
namespace {

using platform::ManagedObjectContext;

// Stands in for the mirroring container: hears every store that loads, as a mirror does.
class ListeningContainer : public platform::PersistentContainer {
 public:
  using PersistentContainer::PersistentContainer;

  std::vector<platform::StoreDescription> loadedDescriptions;
  std::vector<platform::UUID> loadedStores;

 protected:
  void persistentStoreDidLoad(const platform::StoreDescription& description,
                              const std::shared_ptr<platform::PersistentStore>& store) override {
    loadedDescriptions.push_back(description);
    loadedStores.push_back(store->identifier());
  }
};

class CoreDataStackTest : public ::testing::Test {
 protected:
  CoreDataStack::ContainerFactory listeningFactory() {
    return [this](std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
      listening_ = std::make_shared<ListeningContainer>(std::move(name), std::move(model));
      return listening_;
    };
  }

  static void expectApplicationViewContext(const ManagedObjectContext& viewContext) {
    EXPECT_TRUE(viewContext.automaticallyMergesChangesFromParent());
    EXPECT_EQ(viewContext.mergePolicy(), ManagedObjectContext::MergePolicy::PropertyObjectTrump);
    EXPECT_EQ(viewContext.transactionAuthor(), "Velloran");
  }

  static platform::UUID storeIdentifier(const CoreDataStack& stack) {
    return stack.container()->persistentStoreCoordinator()->persistentStore()->identifier();
  }

  static void insertDefaultPrompt(const CoreDataStack& stack) {
    ManagedObjectContext& view = *stack.container()->viewContext();
    view.insertNewObject(model::kPromptEntity);
    ASSERT_TRUE(view.save().ok());
  }

  static std::size_t promptCount(const CoreDataStack& stack) {
    auto prompts =
        stack.container()->viewContext()->fetch(platform::FetchRequest{std::string(model::kPromptEntity)});
    EXPECT_TRUE(prompts.ok());
    return prompts.ok() ? prompts->size() : 0;
  }

  platform::DeterministicDispatch dispatch_;
  std::shared_ptr<ListeningContainer> listening_;
};

TEST_F(CoreDataStackTest, ModelKeepsTheShapeOfStoresAlreadyWritten) {
  // Every store on every machine was written with this shape: a change to it (or to how the layer
  // hashes it) makes each of them incompatible, to be reset on the next launch. Change it knowingly.
  EXPECT_EQ(CoreDataStack::makeModel()->versionHash(),
            "27d04f186f687eccf5c4ca5cad656e67a3302008d04347b7a3dde0ac2b4fc89b");
}

TEST_F(CoreDataStackTest, VersionsGoWithTheirPromptButNotTheOtherWayRound) {
  auto model = CoreDataStack::makeModel();
  const platform::RelationshipDescription* versions = model->entity("PromptEntity")->relationship("versions");
  const platform::RelationshipDescription* owner = model->entity("VersionEntity")->relationship("prompt");
  ASSERT_TRUE(versions && owner);
  EXPECT_TRUE(versions->toMany);
  EXPECT_FALSE(versions->ordered);
  EXPECT_EQ(versions->deleteRule, platform::DeleteRule::Cascade);
  EXPECT_FALSE(owner->toMany);
  EXPECT_EQ(owner->deleteRule, platform::DeleteRule::Nullify);
  EXPECT_EQ(model->entity("PromptEntity")->attribute("type")->defaultValue,
            platform::AttributeValue(std::string("system")));
  EXPECT_EQ(model->entity("PromptEntity")->attribute("tags")->defaultValue,
            platform::AttributeValue(platform::Bytes{'[', ']'}));
}

TEST_F(CoreDataStackTest, ModelsOfDifferentLaunchesOpenTheSameStore) {
  // Each build draws new identifier and date defaults; the store must not see another model in that.
  auto first = CoreDataStack::makeModel();
  auto second = CoreDataStack::makeModel();
  EXPECT_NE(first->entities()[0].attribute("id")->defaultValue,
            second->entities()[0].attribute("id")->defaultValue);
  EXPECT_EQ(first->versionHash(), second->versionHash());
}

TEST_F(CoreDataStackTest, InMemoryStoreHasNoOptionsButTheApplicationsViewContext) {
  CoreDataStack stack(true, listeningFactory());
  EXPECT_EQ(stack.container().get(), listening_.get());
  EXPECT_EQ(stack.container()->name(), "VelloranModel");
  ASSERT_EQ(listening_->loadedDescriptions.size(), 1u);
  const platform::StoreDescription& description = listening_->loadedDescriptions[0];
  EXPECT_EQ(description.type, platform::StoreType::InMemory);
  EXPECT_FALSE(description.path);
  EXPECT_TRUE(description.options.empty());
  EXPECT_FALSE(description.cloudMirrorOptions);
  EXPECT_FALSE(stack.container()->persistentStoreCoordinator()->persistentStore()->tracksHistory());
  expectApplicationViewContext(*stack.container()->viewContext());

  // Each in-memory stack starts empty.
  insertDefaultPrompt(stack);
  EXPECT_EQ(promptCount(stack), 1u);
  EXPECT_EQ(promptCount(CoreDataStack(true)), 0u);
}

TEST_F(CoreDataStackTest, PersistentStoreLivesInApplicationSupportAndIsMirrored) {
  TemporaryApplicationSupport support;
  CoreDataStack stack(false, listeningFactory());
  EXPECT_TRUE(std::filesystem::exists(support.storePath()));
  ASSERT_EQ(listening_->loadedDescriptions.size(), 1u);
  const platform::StoreDescription& description = listening_->loadedDescriptions[0];
  EXPECT_EQ(description.type, platform::StoreType::SQLite);
  EXPECT_EQ(description.path, support.storePath());
  ASSERT_TRUE(description.cloudMirrorOptions);
  EXPECT_EQ(description.cloudMirrorOptions->containerIdentifier, kCloudContainerIdentifier);
  EXPECT_TRUE(description.option(platform::kPersistentHistoryTrackingOption));
  EXPECT_TRUE(description.option(platform::kRemoteChangeNotificationPostOption));
  EXPECT_TRUE(description.shouldInferMappingModelAutomatically);
  EXPECT_TRUE(description.shouldMigrateStoreAutomatically);
  EXPECT_TRUE(stack.container()->persistentStoreCoordinator()->persistentStore()->tracksHistory());
  expectApplicationViewContext(*stack.container()->viewContext());
}

TEST_F(CoreDataStackTest, PersistentStoreIsTheSameOnTheNextLaunch) {
  TemporaryApplicationSupport support;
  platform::UUID identifier;
  {
    CoreDataStack first(false);
    insertDefaultPrompt(first);
    identifier = storeIdentifier(first);
  }
  CoreDataStack second(false);
  EXPECT_EQ(storeIdentifier(second), identifier);
  EXPECT_EQ(promptCount(second), 1u);
}

TEST_F(CoreDataStackTest, IncompatibleStoreIsDestroyedAndLoadedAfreshOnce) {
  TemporaryApplicationSupport support;
  platform::UUID oldIdentifier;
  {
    CoreDataStack earlier(false);
    insertDefaultPrompt(earlier);
    oldIdentifier = storeIdentifier(earlier);
  }
  platform::testing::RawDatabase(support.storePath())
      .execute("UPDATE Z_METADATA SET Z_VALUE = 'another model' WHERE Z_KEY = 'pstore.modelHash'");

  CoreDataStack stack(false, listeningFactory());
  // Only the load after the reset succeeded; the mirror hears of the new store and fills it again.
  ASSERT_EQ(listening_->loadedStores.size(), 1u);
  EXPECT_NE(listening_->loadedStores[0], oldIdentifier);
  EXPECT_EQ(storeIdentifier(stack), listening_->loadedStores[0]);
  EXPECT_EQ(promptCount(stack), 0u);
  expectApplicationViewContext(*stack.container()->viewContext());
  // The new store is a working store of this model.
  insertDefaultPrompt(stack);
  EXPECT_EQ(promptCount(stack), 1u);
}

TEST_F(CoreDataStackTest, FileThatIsNoDatabaseIsSetAsideIntactAndANewStoreLoaded) {
  TemporaryApplicationSupport support;
  std::filesystem::create_directories(support.folder());
  const std::string contents = "my own notes, not a database\n" + std::string(4096, 'x');
  std::ofstream(support.storePath(), std::ios::binary) << contents;

  CoreDataStack stack(false);
  ASSERT_TRUE(stack.damagedStore());
  EXPECT_EQ(stack.damagedStore()->parent_path(), support.folder());
  EXPECT_TRUE(stack.damagedStore()->filename().string().starts_with("Velloran.sqlite.damaged-"));
  EXPECT_TRUE(platform::testing::fileContents(*stack.damagedStore()) == contents) << "the file was changed";
  EXPECT_EQ(promptCount(stack), 0u);
  EXPECT_FALSE(CoreDataStack(false).damagedStore()) << "the new store loads as it is";
}

// Two starts at the same moment that both find the library file damaged: one of them sets it aside,
// and the new library the first to reopen makes is never taken for the damaged one. Each round gives
// the race another chance to go wrong.
TEST_F(CoreDataStackTest, OfTwoStartsThatFindTheLibraryDamagedOneSetsItAsideAndBothOpenTheNewOne) {
  constexpr int kRounds = 20;
  constexpr int kNothingSetAside = 0;
  constexpr int kSetAside = 1;
  constexpr int kFailed = 2;
  const std::string damaged = "my own notes, not a database\n" + std::string(4096, 'x');
  const auto start = [] {
    std::variant<CoreDataStack, StoreOpenFailure> opened =
        CoreDataStack::open(false, CoreDataStack::makePlainContainer);
    if (const auto* failure = std::get_if<StoreOpenFailure>(&opened)) {
      std::fprintf(stderr, "%s\n", failure->report.c_str());
      return kFailed;
    }
    return std::get<CoreDataStack>(opened).damagedStore() ? kSetAside : kNothingSetAside;
  };

  for (int round = 0; round < kRounds; ++round) {
    TemporaryApplicationSupport support;
    std::filesystem::create_directories(support.folder());
    std::ofstream(support.storePath(), std::ios::binary) << damaged;

    const std::vector<int> results = platform::testing::runAtOnce({start, start});

    ASSERT_NE(results[0], kFailed) << "round " << round;
    ASSERT_NE(results[1], kFailed) << "round " << round;
    EXPECT_EQ(results[0] + results[1], kSetAside) << "round " << round;
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(support.folder())) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("Velloran.sqlite.damaged-") && !name.ends_with("-wal") &&
          !name.ends_with("-journal"))
        copies.push_back(entry.path());
    }
    ASSERT_EQ(copies.size(), 1u) << "round " << round;
    EXPECT_TRUE(platform::testing::fileContents(copies[0]) == damaged) << "round " << round;
    EXPECT_FALSE(CoreDataStack(false).damagedStore()) << "round " << round << ": the library left is sound";
  }
}

TEST_F(CoreDataStackTest, DamagedStoresSetAsideInOneSecondAreAllKeptWithTheirLogsAndJournals) {
  platform::testing::TemporaryDirectory folder;
  const std::string store = (folder.path() / kStoreFileName).string();
  auto write = [](const std::string& file, const std::string& text) { std::ofstream(file) << text; };
  write(store, "first");
  write(store + "-wal", "first log");
  write(store + "-shm", "first log index");
  const auto setAside = [&store] {
    return CoreDataStack::setAsideStore(store, platform::fileIdentity(store).value()).value().value();
  };
  const std::filesystem::path first = setAside();
  write(store, "second");
  write(store + "-journal", "second journal");
  const std::filesystem::path second = setAside();

  EXPECT_NE(first, second);
  EXPECT_EQ(platform::testing::fileContents(first), "first");
  EXPECT_EQ(platform::testing::fileContents(first.string() + "-wal"), "first log");
  EXPECT_EQ(platform::testing::fileContents(second), "second");
  EXPECT_EQ(platform::testing::fileContents(second.string() + "-journal"), "second journal");
  // The log index is rebuilt from the log: neither kept nor left beside the next store.
  EXPECT_FALSE(std::filesystem::exists(first.string() + "-shm"));
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    EXPECT_FALSE(std::filesystem::exists(store + suffix)) << suffix;
}

TEST_F(CoreDataStackTest, NoApplicationSupportFolderEndsTheProcessWithAMessage) {
  GTEST_FLAG_SET(death_test_style, "fast");
  TemporaryApplicationSupport support(/*withBundleIdentifier=*/false);
  EXPECT_DEATH(CoreDataStack(false), "Fatal error: No usable Application Support folder: platform.paths 2");
}

TEST_F(CoreDataStackTest, OpeningAnswersAFailureWithItsFolderInsteadOfEndingTheProcess) {
  TemporaryApplicationSupport support;
  std::filesystem::create_directories(support.folder().parent_path());
  // A file where the folder should be: nothing can be made under it.
  std::ofstream(support.folder()).put('x');

  std::variant<CoreDataStack, StoreOpenFailure> opened =
      CoreDataStack::open(false, CoreDataStack::makePlainContainer);
  const auto* failure = std::get_if<StoreOpenFailure>(&opened);
  ASSERT_NE(failure, nullptr);
  EXPECT_EQ(failure->folder, support.folder());
  EXPECT_TRUE(failure->report.starts_with("No usable Application Support folder: ")) << failure->report;
}

// Opens the persistent stack in a child on a disk with no room left: 1 when opening failed.
int openOnFullDisk(const CoreDataStack::ContainerFactory& makeContainer = CoreDataStack::makePlainContainer) {
  return platform::testing::runWithFullDisk(0, [&] {
    return std::holds_alternative<StoreOpenFailure>(CoreDataStack::open(false, makeContainer)) ? 1 : 0;
  });
}

// The container the app opens: mirrored, its mirror folder inside the Application Support folder,
// which it looks up (and so makes) as it is made.
std::shared_ptr<platform::PersistentContainer> makeMirroredContainer(
    std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
  return std::make_shared<platform::MirroredPersistentContainer>(std::move(name), std::move(model),
                                                                 platform::MirrorSettings::fromEnvironment());
}

TEST_F(CoreDataStackTest, AStartThatFailsOnAFullDiskLeavesTheDataFolderAsItFoundIt) {
  TemporaryApplicationSupport support;
  const std::filesystem::path dataHome = support.folder().parent_path();
  std::filesystem::create_directories(dataHome);
  ASSERT_EQ(openOnFullDisk(), 1);
  EXPECT_FALSE(std::filesystem::exists(support.folder())) << "the folder this start made is gone again";
  EXPECT_TRUE(std::filesystem::exists(dataHome));
  ASSERT_EQ(openOnFullDisk(makeMirroredContainer), 1);
  EXPECT_FALSE(std::filesystem::exists(support.folder())) << "the mirrored container made it, not the user";

  // A folder that was there stays, with what it held.
  std::filesystem::create_directories(support.folder());
  std::ofstream(support.folder() / "PersistentHistoryToken.data") << "token";
  ASSERT_EQ(openOnFullDisk(), 1);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(support.folder()))
    names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"PersistentHistoryToken.data"});

  // With room again the start succeeds as if nothing had happened.
  CoreDataStack stack(false);
  EXPECT_EQ(promptCount(stack), 0u);
}

}  // namespace
}  // namespace velloran::testing
