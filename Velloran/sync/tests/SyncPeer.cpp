// A test-only program: one machine's library, wired as the application wires it, run in a process
// of its own so that tests can have two machines exchange a prompt through one mirror folder.
//
//   velloran_sync_peer put <title>    saves a prompt, then waits until its export succeeded
//   velloran_sync_peer await <title>  waits until an import brings a prompt with that title
//
// The environment names the machine's folders: Application Support (XDG_DATA_HOME and the bundle in
// VELLORAN_BUNDLE_DIR) and the mirror (VELLORAN_CLOUD_DIR). Exit status 0 on success, 1 when the
// wait timed out, 2 for a wrong call.

#include <chrono>
#include <iostream>
#include <memory>
#include <string>

#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/sync/CloudKitSyncService.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/mirror/MirroredPersistentContainer.h"

namespace {

using namespace velloran;

constexpr std::chrono::seconds kPatience{60};

Prompt newPrompt(const std::string& title) {
  const platform::UUID id = platform::UUID::random();
  const platform::Date now = platform::Date::fromUnixSeconds(
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
  return Prompt{id,
                title,
                PromptType::user,
                {},
                false,
                now,
                now,
                {PromptVersion{platform::UUID::random(), id, "Text of " + title, "", 1, now}},
                {},
                {}};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: velloran_sync_peer put|await <title>\n";
    return 2;
  }
  const std::string command = argv[1];
  const std::string title = argv[2];

  CoreDataStack stack(false, [](std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
    return std::make_shared<platform::MirroredPersistentContainer>(std::move(name), std::move(model));
  });
  auto store = std::make_shared<CoreDataPromptStore>(stack.container());
  auto monitor = CloudKitSyncService::make(stack.container());

  bool done = false;
  bool saved = false;
  Subscription events;
  if (command == "put") {
    store->savePrompt(newPrompt(title), [&](platform::Result<void> result) { saved = result.ok(); });
    events = monitor->observeEvents([&](const velloran::SyncEvent& event) {
      if (saved && event.type == velloran::SyncEvent::Type::Export && event.succeeded) done = true;
    });
  } else if (command == "await") {
    // As the library does: after a successful import, process history and reload when it brought
    // other machines' changes.
    events = monitor->observeEvents([&](const velloran::SyncEvent& event) {
      if (event.type != velloran::SyncEvent::Type::Import || !event.succeeded) return;
      monitor->processPersistentHistory([&](platform::Result<void>) {
        if (!monitor->takePendingRemoteChanges()) return;
        store->fetchPrompts({}, [&](platform::Result<std::vector<Prompt>> prompts) {
          if (!prompts) return;
          for (const Prompt& prompt : *prompts) {
            if (prompt.title == title && prompt.versions.size() == 1 &&
                prompt.versions[0].content == "Text of " + title) {
              done = true;
            }
          }
        });
      });
    });
  } else {
    std::cerr << "unknown command " << command << "\n";
    return 2;
  }
  if (!platform::runUntil([&] { return done; }, kPatience)) {
    std::cerr << command << " " << title << ": timed out\n";
    return 1;
  }
  std::cout << command << " " << title << ": done\n";
  return 0;
}
