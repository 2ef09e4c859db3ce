// Rows of the prompt store written by another program, or damaged: a store holding two prompts is
// copied, every column of every table is overwritten with values the fuzzer chooses (any storage
// class: counters, versions, dates, texts, record names), and the copy is opened, every prompt read,
// one changed and a new one inserted. Nothing may crash or overflow; failures are errors.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/ScratchFolder.h"
#include "fuzz/SqliteRowDamage.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/time/ManualClock.h"

using namespace platform;
using velloran::fuzz::ByteSource;
using velloran::fuzz::check;

namespace {

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
  velloran::fuzz::damageRows(path, source);

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
