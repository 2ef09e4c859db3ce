#pragma once
// Shared by the persistent-store tests: a temporary folder, a small notebook model (notes with
// pages, shaped like the application's prompts with versions), containers over real SQLite files,
// and a raw connection for editing rows behind the layer's back.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/notify/NotificationCenter.h"
#include "platform/pstore/PersistentContainer.h"
#include "platform/time/ManualClock.h"

namespace platform::testing {

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pstore-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

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

// A second connection to a store file, for changing rows the way another program would.
class RawDatabase {
 public:
  explicit RawDatabase(const std::filesystem::path& path) {
    if (sqlite3_open(path.c_str(), &database_) != SQLITE_OK)
      throw std::runtime_error("cannot open " + path.string());
    sqlite3_busy_timeout(database_, 5000);
  }
  ~RawDatabase() { sqlite3_close(database_); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  void execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      std::string reason = message ? message : "?";
      sqlite3_free(message);
      throw std::runtime_error(sql + ": " + reason);
    }
  }
  std::int64_t count(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(database_));
    }
    std::int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return value;
  }

 private:
  sqlite3* database_ = nullptr;
};

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace platform::testing
