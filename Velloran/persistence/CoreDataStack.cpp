#include "Velloran/persistence/CoreDataStack.h"

#include <optional>
#include <utility>
#include <vector>

#include "Velloran/persistence/FatalError.h"
#include "Velloran/persistence/StoreRecovery.h"
#include "Velloran/persistence/VelloranModel.h"
#include "platform/bundle/Bundle.h"
#include "platform/identity/UUID.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/paths/FileIO.h"
#include "platform/paths/UserDirectories.h"
#include "platform/process/FileSizeLimit.h"
#include "platform/sqlite/SqliteSetAside.h"
#include "platform/time/SystemClock.h"

namespace velloran {
namespace {

using platform::AttributeType;

platform::AttributeDescription required(std::string_view name, AttributeType type,
                                        platform::AttributeValue defaultValue) {
  return platform::AttributeDescription{std::string(name), type, false, std::move(defaultValue)};
}

std::optional<platform::Error> loadOnce(platform::PersistentContainer& container) {
  std::optional<platform::Error> failure;
  container.loadPersistentStores(
      [&failure](const platform::StoreDescription&, const std::optional<platform::Error>& error) {
        if (error && !failure) failure = error;
      });
  return failure;
}

void configureViewContext(platform::ManagedObjectContext& viewContext) {
  viewContext.setAutomaticallyMergesChangesFromParent(true);
  viewContext.setMergePolicy(platform::ManagedObjectContext::MergePolicy::PropertyObjectTrump);
  viewContext.setTransactionAuthor(std::string(kTransactionAuthor));
}

std::optional<StoreOpenFailure> loadInMemoryStore(platform::PersistentContainer& container) {
  platform::StoreDescription description;
  description.type = platform::StoreType::InMemory;
  container.setPersistentStoreDescriptions({description});
  std::optional<platform::Error> failure = loadOnce(container);
  if (!failure) return std::nullopt;
  return StoreOpenFailure{StoreLoadFailure{kInMemoryLoadFailedMessage, *failure}.report(), *failure, {}};
}

// Where the Application Support folder is meant to be, also when it cannot be made.
std::filesystem::path intendedSupportFolder() {
  platform::Result<std::filesystem::path> dataHome = platform::UserDirectories::current().dataHome();
  if (!dataHome) return {};
  const std::optional<std::string> identifier = platform::Bundle::main()->bundleIdentifier();
  return identifier ? *dataHome / *identifier : *dataHome;
}

}  // namespace

std::shared_ptr<platform::PersistentContainer> CoreDataStack::makePlainContainer(
    std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
  return std::make_shared<platform::PersistentContainer>(std::move(name), std::move(model));
}

CoreDataStack::CoreDataStack(bool inMemory, const ContainerFactory& makeContainer)
    : CoreDataStack(openOrEnd(inMemory, makeContainer)) {}

CoreDataStack::CoreDataStack(std::shared_ptr<platform::PersistentContainer> container,
                             std::optional<std::filesystem::path> damagedStore)
    : container_(std::move(container)), damagedStore_(std::move(damagedStore)) {
  configureViewContext(*container_->viewContext());
}

CoreDataStack CoreDataStack::openOrEnd(bool inMemory, const ContainerFactory& makeContainer) {
  std::variant<CoreDataStack, StoreOpenFailure> opened = open(inMemory, makeContainer);
  if (auto* failure = std::get_if<StoreOpenFailure>(&opened)) fatalError(failure->report);
  return std::get<CoreDataStack>(std::move(opened));
}

std::variant<CoreDataStack, StoreOpenFailure> CoreDataStack::open(bool inMemory,
                                                                  const ContainerFactory& makeContainer) {
  // Looked at before the container is made: a mirrored container looks up its mirror folder inside
  // the support folder, and that makes the folder.
  const bool supportWasThere = !inMemory && platform::entryExists(intendedSupportFolder());
  std::shared_ptr<platform::PersistentContainer> container =
      makeContainer(std::string(model::kModelName), makeModel());
  if (inMemory) {
    if (std::optional<StoreOpenFailure> failure = loadInMemoryStore(*container)) return std::move(*failure);
    return CoreDataStack(std::move(container), std::nullopt);
  }
  // The store and its mirror write files that grow; past the file-size limit a write must fail as
  // an error, not end the process mid-save.
  platform::ignoreFileSizeLimitSignal();
  platform::Result<std::filesystem::path> support = platform::applicationSupportDirectory();
  if (!support) {
    return StoreOpenFailure{std::string(kNoApplicationSupportMessage) + support.error().debugDescription(),
                            support.error(), intendedSupportFolder()};
  }
  const std::filesystem::path storeURL = *support / std::string(kStoreFileName);
  container->setPersistentStoreDescriptions({persistentStoreDescription(storeURL)});
  StoreLoadOutcome outcome = loadRecovering(storeURL, *container);
  if (outcome.failure) {
    // A store that could not be made leaves no file (the store layer sees to that); a folder made
    // for it at this start goes too, when it is empty, so a failed start leaves the data folder as
    // it found it.
    std::error_code ignored;
    if (!supportWasThere) std::filesystem::remove(*support, ignored);
    return StoreOpenFailure{outcome.failure->report(), outcome.failure->error, *support};
  }
  return CoreDataStack(std::move(container), std::move(outcome.damagedStore));
}

std::shared_ptr<const platform::ManagedObjectModel> CoreDataStack::makeModel() {
  // Drawn once per model; the store sets these attributes itself, and the model's version hash
  // leaves defaults out, so they never decide anything.
  const platform::UUID idDefault = platform::UUID::random();
  const platform::UUID promptRefDefault = platform::UUID::random();
  const platform::Date buildTime = platform::SystemClock::shared().now();

  platform::AttributeDescription tags =
      required(model::kTags, AttributeType::Binary, platform::Bytes{'[', ']'});
  tags.allowsExternalBinaryDataStorage = true;

  // Saving, appending a version and deleting all find their prompt by id.
  platform::AttributeDescription promptId = required(model::kId, AttributeType::UUID, idDefault);
  promptId.indexed = true;

  platform::EntityDescription prompt{
      std::string(model::kPromptEntity),
      {
          promptId,
          required(model::kTitle, AttributeType::String, std::string()),
          required(model::kType, AttributeType::String, std::string("system")),
          tags,
          required(model::kIsSystem, AttributeType::Boolean, false),
          required(model::kCreatedAt, AttributeType::Date, buildTime),
          required(model::kUpdatedAt, AttributeType::Date, buildTime),
      },
      {platform::RelationshipDescription{std::string(model::kVersions), std::string(model::kVersionEntity),
                                         std::string(model::kPrompt), true, 0, 0, false,
                                         platform::DeleteRule::Cascade}}};

  platform::EntityDescription version{
      std::string(model::kVersionEntity),
      {
          required(model::kId, AttributeType::UUID, idDefault),
          required(model::kPromptRef, AttributeType::UUID, promptRefDefault),
          required(model::kContent, AttributeType::String, std::string()),
          required(model::kNotes, AttributeType::String, std::string()),
          required(model::kVersionNumber, AttributeType::Integer32, std::int64_t{1}),
          required(model::kCreatedAt, AttributeType::Date, buildTime),
      },
      {platform::RelationshipDescription{std::string(model::kPrompt), std::string(model::kPromptEntity),
                                         std::string(model::kVersions), false, 0, 1, false,
                                         platform::DeleteRule::Nullify}}};

  return std::make_shared<const platform::ManagedObjectModel>(
      std::vector<platform::EntityDescription>{std::move(prompt), std::move(version)});
}

platform::StoreDescription CoreDataStack::persistentStoreDescription(const std::filesystem::path& storeURL) {
  platform::StoreDescription description(storeURL);
  description.cloudMirrorOptions = platform::CloudMirrorOptions{std::string(kCloudContainerIdentifier)};
  description.setOption(platform::kPersistentHistoryTrackingOption, true);
  description.setOption(platform::kRemoteChangeNotificationPostOption, true);
  description.shouldInferMappingModelAutomatically = true;
  description.shouldMigrateStoreAutomatically = true;
  return description;
}

std::optional<std::filesystem::path> CoreDataStack::loadStores(const std::filesystem::path& storeURL,
                                                               platform::PersistentContainer& container) {
  StoreLoadOutcome outcome = loadRecovering(storeURL, container);
  if (outcome.failure) fatalError(outcome.failure->report());
  return outcome.damagedStore;
}

StoreLoadOutcome CoreDataStack::loadRecovering(const std::filesystem::path& storeURL,
                                               platform::PersistentContainer& container) {
  // The file a verdict of damage will be about, taken before the load that gives it: another start
  // may find the same file damaged, set it aside and make a new store in its place before this one
  // gets to set it aside, and that new store must never be taken for the damaged one.
  const std::optional<platform::FileIdentity> judged = platform::fileIdentity(storeURL);
  return loadRecoveringStore(
      [&container] { return loadOnce(container); },
      [&container, &storeURL] { return resetStore(storeURL, container); },
      [&storeURL, &judged]() -> platform::Result<std::optional<std::filesystem::path>> {
        if (!judged) return std::optional<std::filesystem::path>();
        return setAsideStore(storeURL, *judged);
      });
}

platform::Result<std::optional<std::filesystem::path>> CoreDataStack::setAsideStore(
    const std::filesystem::path& storeURL, const platform::FileIdentity& judged) {
  // Every damaged copy stays: each may hold prompts the mirror never received.
  return platform::setAsideDamagedSqliteFile(storeURL, judged, platform::KeptCopies::All);
}

platform::Result<void> CoreDataStack::resetStore(const std::filesystem::path& storeURL,
                                                 platform::PersistentContainer& container) {
  return container.persistentStoreCoordinator()->destroyPersistentStore(storeURL);
}

}  // namespace velloran
