#pragma once
// The application's one persistent store: the model of the prompt library built in code, the
// container over it, the store loaded synchronously (and recovered once when the model can no
// longer open it), and the view context configured for the application.
//
// Two modes:
//  - in memory (test runs): an in-memory store with no options: no history, no mirroring;
//  - persistent: "Velloran.sqlite" directly in the Application Support folder, mirrored to the
//    user's cloud container (cloud mirror options on its description), with persistent history,
//    remote-change notifications and automatic migration on.
// In both the view context merges other contexts' saves automatically, lets its own changes win
// property by property, and records the transaction author "Velloran".
//
// Mirroring is the container's business: the stack builds its container through a factory, and the
// application passes the factory of the mirroring container, which starts mirroring a store whose
// description carries cloud mirror options (it hears each load, including the one after a reset).
// Tests pass plain containers.
//
// Failures: the constructor returns only with the store loaded. A store written by an incompatible
// model is destroyed with its companion files and loaded once more (its unexported local changes
// are lost; the mirror fills the new store again). A store file that is damaged is set aside with
// its log and journal ("Velloran.sqlite.damaged-<seconds since 1970>", "-1", "-2", ... after it when a
// copy of that second is there already; every copy kept, none ever destroyed) and a new store
// loaded, which the mirror fills again from every journal, the old store's own included; the stack
// says where the damaged file went, for the application to tell the user. Of starts at the same
// moment that find one file damaged, one sets it aside and tells; the others open the new store the
// first to reopen made, which is never set aside for the damaged one. Every other failure ends the
// process with a message (StoreRecovery.h), as does the lack of a usable Application Support folder;
// open() answers such a failure instead, for an application that tells the user before it exits.
// A start that fails leaves the data folder as it found it: a store it was making (on a full disk,
// say) and the Application Support folder it made are gone again; an existing store stays as it was.
//
// Quit: close() ends the store's use before the process exits: the mirror exports what waits and
// stops, then the store's log is folded into its file and the connection closed. Whoever still
// holds the container afterwards finds its operations failing; nothing runs on the store any more.
//
// Threads: construct on the main thread, before the main loop runs; loading never waits for a
// queue. The stack is a plain value sharing one container; the container lives for the process.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "Velloran/persistence/StoreRecovery.h"
#include "platform/error/Result.h"
#include "platform/paths/FileIO.h"
#include "platform/pstore/ManagedObjectModel.h"
#include "platform/pstore/PersistentContainer.h"
#include "platform/pstore/StoreDescription.h"

namespace velloran {

// Every change this application writes carries it, so the sync monitor can tell local changes from
// those mirrored in from other machines.
inline constexpr std::string_view kTransactionAuthor = "Velloran";
inline constexpr std::string_view kStoreFileName = "Velloran.sqlite";
// The cloud container the persistent store is mirrored to; also names the mirror's folder.
inline constexpr std::string_view kCloudContainerIdentifier = "velloran.library";
// The text the process ends with when there is no Application Support folder to keep the store in.
inline constexpr std::string_view kNoApplicationSupportMessage = "No usable Application Support folder: ";

// Why the store could not be opened: the text the process would end with, the failure itself, and
// the folder the store lives in or was to be made in (empty for the in-memory store).
struct StoreOpenFailure {
  std::string report;
  platform::Error error;
  std::filesystem::path folder;
};

class CoreDataStack {
 public:
  using ContainerFactory = std::function<std::shared_ptr<platform::PersistentContainer>(
      std::string name, std::shared_ptr<const platform::ManagedObjectModel> model)>;

  // A container that mirrors nothing, on the machine's clock and the default notification centre.
  static std::shared_ptr<platform::PersistentContainer> makePlainContainer(
      std::string name, std::shared_ptr<const platform::ManagedObjectModel> model);

  explicit CoreDataStack(bool inMemory, const ContainerFactory& makeContainer = makePlainContainer);
  // The same, answering a failure instead of ending the process.
  static std::variant<CoreDataStack, StoreOpenFailure> open(bool inMemory,
                                                            const ContainerFactory& makeContainer);

  const std::shared_ptr<platform::PersistentContainer>& container() const { return container_; }
  // Where a damaged store file was set aside at this start; none when the store loaded as it was.
  const std::optional<std::filesystem::path>& damagedStore() const { return damagedStore_; }

  // For the application's quit, on the main thread, once nothing more is asked of the store.
  void close() const { container_->closePersistentStores(); }

  // PromptEntity and VersionEntity (VelloranModel.h). Defaults that are an identifier or a date are
  // drawn once per call; they never make a store look incompatible.
  static std::shared_ptr<const platform::ManagedObjectModel> makeModel();

  // The description of the persistent store at `storeURL`.
  static platform::StoreDescription persistentStoreDescription(const std::filesystem::path& storeURL);

  // Loads the container's descriptions, resetting an incompatible store at `storeURL` once or
  // setting a damaged one aside (answering where it went); ends the process on any other failure.
  static std::optional<std::filesystem::path> loadStores(const std::filesystem::path& storeURL,
                                                         platform::PersistentContainer& container);

  // Moves the store at `storeURL`, its log and its journal aside under one new name, all or none
  // (platform/sqlite/SqliteSetAside.h), while the file there is still `judged`, the one found
  // damaged; answers the store file's new place, or none when another start has set it aside
  // already (and may have made a new store in its place).
  static platform::Result<std::optional<std::filesystem::path>> setAsideStore(
      const std::filesystem::path& storeURL, const platform::FileIdentity& judged);

  // Destroys the store at `storeURL` with its "-shm" and "-wal" companions (the store layer removes
  // them together); answers the layer's error.
  static platform::Result<void> resetStore(const std::filesystem::path& storeURL,
                                           platform::PersistentContainer& container);

 private:
  CoreDataStack(std::shared_ptr<platform::PersistentContainer> container,
                std::optional<std::filesystem::path> damagedStore);
  static CoreDataStack openOrEnd(bool inMemory, const ContainerFactory& makeContainer);
  static StoreLoadOutcome loadRecovering(const std::filesystem::path& storeURL,
                                         platform::PersistentContainer& container);

  std::shared_ptr<platform::PersistentContainer> container_;
  std::optional<std::filesystem::path> damagedStore_;
};

}  // namespace velloran
