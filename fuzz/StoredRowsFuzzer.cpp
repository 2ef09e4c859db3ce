// Rows of the prompt store written by another program, or damaged: a store holding two prompts is
// copied, every column of every table is overwritten with values the fuzzer chooses (any storage
// class: counters, versions, dates, texts, record names), and the copy is opened, every prompt read,
// one changed and a new one inserted. Nothing may crash or overflow; failures are errors.

#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/ScratchFolder.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/time/ManualClock.h"

using namespace platform;
using velloran::fuzz::check;

namespace {

// The fuzzer's bytes, taken from the front as they are needed; zeros once they run out.
class ByteSource {
 public:
  ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  std::string bytes(std::size_t count) {
    std::string taken;
    while (count-- > 0 && offset_ < size_) taken += static_cast<char>(data_[offset_++]);
    return taken;
  }
  std::uint64_t word() {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | byte();
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

velloran::Prompt samplePrompt(const std::string& title, std::int64_t versions) {
  velloran::Prompt prompt;
  prompt.id = UUID::random();
  prompt.title = title;
  prompt.type = velloran::PromptType::system;
  prompt.tags = {"review", "de"};
  prompt.createdAt = prompt.updatedAt = Date{700000000.0};
  for (std::int64_t number = 1; number <= versions; ++number) {
    prompt.versions.push_back(velloran::PromptVersion{
        UUID::random(), prompt.id, "Text " + std::to_string(number), "", number, Date{700000000.0 + number}});
  }
  return prompt;
}

Result<void> savePrompt(ManagedObjectContext& context, const velloran::Prompt& prompt) {
  Result<ManagedObject> object = velloran::findOrCreatePrompt(context, prompt.id, prompt.createdAt);
  if (!object) return object.error();
  if (Result<void> written = velloran::writePromptFields(*object, prompt); !written) return written;
  if (Result<void> kept = velloran::keepVersions(context, *object, prompt.versions, prompt.id); !kept)
    return kept;
  return context.save();
}

// A container over the store file at `path`, with its own clock and notification centre.
struct OpenStore {
  explicit OpenStore(const std::filesystem::path& path)
      : container("Velloran", velloran::CoreDataStack::makeModel(), clock, center) {
    container.setPersistentStoreDescriptions({StoreDescription(path)});
    container.loadPersistentStores(
        [&](const StoreDescription&, const std::optional<Error>& error) { loaded = !error; });
  }
  ManualClock clock;
  NotificationCenter center;
  PersistentContainer container;
  bool loaded = false;
};

std::vector<std::string> names(sqlite3* database, const std::string& sql) {
  std::vector<std::string> found;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return found;
  const int column = sqlite3_column_count(statement) > 1 ? 1 : 0;  // table_info has the name second
  while (sqlite3_step(statement) == SQLITE_ROW) {
    found.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
  }
  sqlite3_finalize(statement);
  return found;
}

void bindChosenValue(sqlite3_stmt* statement, ByteSource& source) {
  switch (source.byte() % 5) {
    case 0:
      sqlite3_bind_null(statement, 1);
      break;
    case 1:
      sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(source.word()));
      break;
    case 2: {
      const std::uint64_t bits = source.word();
      double real;
      std::memcpy(&real, &bits, sizeof real);
      sqlite3_bind_double(statement, 1, real);
      break;
    }
    case 3: {
      const std::string text = source.bytes(source.byte() % 64);
      sqlite3_bind_text(statement, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    default: {
      const std::string blob = source.bytes(source.byte() % 64);
      sqlite3_bind_blob(statement, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
      break;
    }
  }
}

// Overwrites the columns the bytes choose, in every row of their table.
void damage(const std::filesystem::path& path, ByteSource& source) {
  sqlite3* database = nullptr;
  check(sqlite3_open(path.c_str(), &database) == SQLITE_OK, "the copied store opens");
  for (const std::string& table :
       names(database, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    for (const std::string& column : names(database, "PRAGMA table_info(\"" + table + "\")")) {
      if (source.byte() % 3 != 0) continue;
      sqlite3_stmt* statement = nullptr;
      const std::string sql = "UPDATE \"" + table + "\" SET \"" + column + "\" = ?";
      if (sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) continue;
      bindChosenValue(statement, source);
      (void)sqlite3_step(statement);  // a value a constraint refuses is simply not written
      sqlite3_finalize(statement);
    }
  }
  sqlite3_close(database);
}

void copyStore(const std::filesystem::path& from, const std::filesystem::path& to) {
  for (const char* suffix : {"", "-wal"}) {
    const std::filesystem::path source = from.string() + suffix;
    if (std::filesystem::exists(source)) std::filesystem::copy_file(source, to.string() + suffix);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const velloran::fuzz::ScratchFolder pristineFolder;
  static const std::filesystem::path pristine = [] {
    const std::filesystem::path path = pristineFolder.path() / "Velloran.sqlite";
    OpenStore store(path);
    check(store.loaded, "a new store loads");
    auto context = store.container.newBackgroundContext();
    check(savePrompt(*context, samplePrompt("Erster", 2)).ok() &&
              savePrompt(*context, samplePrompt("Zweiter", 1)).ok(),
          "the sample prompts are saved");
    return path;
  }();
  static const velloran::fuzz::ScratchFolder work;
  work.empty();
  const std::filesystem::path path = work.path() / "Velloran.sqlite";
  copyStore(pristine, path);
  ByteSource source(data, size);
  damage(path, source);

  OpenStore store(path);
  if (!store.loaded) return 0;
  auto context = store.container.newBackgroundContext();
  Result<std::vector<ManagedObject>> objects =
      context->fetch(FetchRequest{std::string(velloran::model::kPromptEntity)});
  if (!objects) return 0;
  for (const ManagedObject& object : *objects) {
    Result<std::optional<velloran::Prompt>> prompt = velloran::readPrompt(object);
    if (!prompt || !*prompt) continue;
    velloran::Prompt changed = **prompt;
    changed.title += " geändert";
    changed.versions.push_back(velloran::PromptVersion{UUID::random(), changed.id, "Neu", "", 3, Date{}});
    (void)savePrompt(*context, changed);
    break;
  }
  (void)savePrompt(*store.container.newBackgroundContext(), samplePrompt("Neu", 1));
  return 0;
}
