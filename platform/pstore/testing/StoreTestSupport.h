#pragma once
// Shared by the persistent-store tests: a small notebook model (notes with pages, shaped like the
// application's prompts with versions) and containers over real SQLite files. Temporary folders come
// from platform/testing, a raw connection for editing rows behind the layer's back from
// platform/pstore/testing.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/notify/NotificationCenter.h"
#include "platform/pstore/PersistentContainer.h"
#include "platform/pstore/testing/RawDatabase.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/time/ManualClock.h"

namespace platform::testing {

struct NotebookModelOptions {
  // Defaults drawn like the application draws them: a random identifier and "now".
  UUID idDefault = UUID::random();
  Date dateDefault = Date{700000000.0};
  bool titleOptional = false;
};

inline std::shared_ptr<const ManagedObjectModel> makeNotebookModel(const NotebookModelOptions& options = {}) {
  EntityDescription note{"Note",
                         {
                             {"id", AttributeType::UUID, false, options.idDefault},
                             {"title", AttributeType::String, options.titleOptional, std::string()},
                             {"tags", AttributeType::Binary, false, Bytes{'[', ']'}, true},
                             {"pinned", AttributeType::Boolean, false, false},
                             {"updatedAt", AttributeType::Date, false, options.dateDefault},
                         },
                         {{"pages", "Page", "note", true, 0, 0, false, DeleteRule::Cascade}}};
  EntityDescription page{"Page",
                         {
                             {"id", AttributeType::UUID, false, options.idDefault},
                             {"content", AttributeType::String, false, std::string()},
                             {"number", AttributeType::Integer32, false, std::int64_t{1}},
                         },
                         {{"note", "Note", "pages", false, 0, 1, false, DeleteRule::Nullify}}};
  return std::make_shared<const ManagedObjectModel>(std::vector<EntityDescription>{note, page});
}

struct StoreOptions {
  bool history = true;
  bool remoteChangeNotifications = true;
  bool migrate = true;
};

inline StoreDescription fileStore(const std::filesystem::path& path, const StoreOptions& options = {}) {
  StoreDescription description(path);
  description.setOption(kPersistentHistoryTrackingOption, options.history);
  description.setOption(kRemoteChangeNotificationPostOption, options.remoteChangeNotifications);
  description.shouldInferMappingModelAutomatically = options.migrate;
  description.shouldMigrateStoreAutomatically = options.migrate;
  return description;
}

inline StoreDescription memoryStore(const StoreOptions& options = {}) {
  StoreDescription description = fileStore({}, options);
  description.path.reset();
  description.type = StoreType::InMemory;
  return description;
}

// Loads the container's one description and answers the error, if any.
inline std::optional<Error> load(PersistentContainer& container, StoreDescription description) {
  container.setPersistentStoreDescriptions({std::move(description)});
  std::optional<Error> failure;
  container.loadPersistentStores(
      [&](const StoreDescription&, const std::optional<Error>& error) { failure = error; });
  return failure;
}

// A container with its own clock and notification centre, loaded from `description`.
struct Notebook {
  explicit Notebook(StoreDescription description,
                    std::shared_ptr<const ManagedObjectModel> model = makeNotebookModel())
      : container("Notebook", std::move(model), clock, center) {
    std::optional<Error> failure = load(container, std::move(description));
    if (failure) ADD_FAILURE() << "store did not load: " << failure->debugDescription();
  }

  ManagedObjectContext& view() { return *container.viewContext(); }
  std::shared_ptr<ManagedObjectContext> background() { return container.newBackgroundContext(); }

  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container;
};

template <class T>
T valueOrFail(Result<T> result) {
  if (!result) throw std::runtime_error("unexpected failure: " + result.error().debugDescription());
  return std::move(result).value();
}

inline void saveOrFail(ManagedObjectContext& context) {
  Result<void> saved = context.save();
  ASSERT_TRUE(saved.ok()) << saved.error().debugDescription();
}

inline std::vector<ManagedObject> fetchAll(ManagedObjectContext& context, const std::string& entity,
                                           std::vector<SortDescriptor> sort = {}) {
  return valueOrFail(context.fetch(FetchRequest{entity, std::nullopt, std::move(sort), 0}));
}

inline std::string text(const ManagedObject& object, const std::string& key) {
  return object.value(key).as<std::string>().value_or("<not text>");
}

}  // namespace platform::testing
