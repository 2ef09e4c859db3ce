// A test-only program: one machine's library, wired as the application wires it, run in a process
// of its own so that tests, and people trying the mirror by hand, can have several machines
// exchange prompts through one mirror folder.
//
//   velloran_sync_peer put <title>    saves a prompt, then waits until its export succeeded
//   velloran_sync_peer await <title>  waits until an import brings a prompt with that title
//   velloran_sync_peer edit <title> <label> <count>
//                                     waits for the prompt, then saves <count> new texts
//                                     "<label> <n>" one after another as the editor does (its copy
//                                     of the prompt plus a version), printing "saved <text>" once
//                                     each save is acknowledged; then lets the last ones export
//   velloran_sync_peer dump <title> <seconds>
//                                     lets the mirror work for that long, then prints the prompt's
//                                     versions in order, "version <text>" each
//   velloran_sync_peer retitle <title> <new title>
//                                     waits for the prompt, then saves it under the new title as the
//                                     editor does, printing "saved <new title>" once acknowledged
//   velloran_sync_peer delete <title>
//                                     waits for the prompt, then deletes it, printing "deleted
//                                     <title>" once acknowledged
//   velloran_sync_peer list <seconds>
//                                     lets the mirror work for that long, then prints the whole
//                                     library in title order: "prompt <title>" for each prompt,
//                                     followed by "version <number> <text>" for each of its versions
//
// edit, retitle and delete let the mirror work a while before the process ends, so that the change
// leaves when the mirror folder is there; with the folder away (its OFFLINE marker) the change stays
// in the store and leaves with the next run. A save or deletion that fails writes why to standard
// error, and so does every event of the mirror that failed or carried a notice, as the app would
// report it.
//
// The environment names the machine's folders: Application Support (XDG_DATA_HOME and the bundle in
// VELLORAN_BUNDLE_DIR) and the mirror (VELLORAN_CLOUD_DIR). Exit status 0 on success, 1 when the
// wait timed out or the change failed, 2 for a wrong call.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

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

platform::Date now() {
  return platform::Date::fromUnixSeconds(
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
}

// The stored library, read as the editor gets it; nothing when the listing failed.
std::optional<PromptList> listLibrary(CoreDataPromptStore& store) {
  std::optional<platform::Result<PromptList>> listed;
  store.fetchPrompts({}, [&](platform::Result<PromptList> prompts) { listed.emplace(std::move(prompts)); });
  if (!platform::runUntil([&] { return listed.has_value(); }, kPatience) || !*listed) return std::nullopt;
  return **listed;
}

// The stored prompt with that title, read as the editor gets it.
std::optional<Prompt> findPrompt(CoreDataPromptStore& store, const std::string& title) {
  const std::optional<PromptList> prompts = listLibrary(store);
  if (!prompts) return std::nullopt;
  for (const SharedPrompt& prompt : *prompts) {
    if (prompt->title == title) return *prompt;
  }
  return std::nullopt;
}

// Waits until the store holds a prompt with that title.
std::optional<Prompt> awaitPrompt(CoreDataPromptStore& store, const std::string& title) {
  std::optional<Prompt> prompt;
  platform::runUntil([&] { return (prompt = findPrompt(store, title)).has_value(); }, kPatience);
  return prompt;
}

// Runs a store operation and waits for its completion; answers whether it succeeded, writing why
// not to standard error.
bool completes(const std::function<void(Completion<void>)>& operation) {
  std::optional<platform::Result<void>> outcome;
  operation([&](platform::Result<void> result) { outcome.emplace(std::move(result)); });
  if (!platform::runUntil([&] { return outcome.has_value(); }, kPatience)) {
    std::cerr << "no answer from the store\n";
    return false;
  }
  if (!*outcome) std::cerr << outcome->error().debugDescription() << "\n";
  return outcome->ok();
}

// Saves `count` texts, each acknowledged on standard output; answers whether all were saved.
bool editRepeatedly(CoreDataPromptStore& store, const std::string& title, const std::string& label,
                    int count) {
  if (!awaitPrompt(store, title)) return false;
  std::optional<Prompt> prompt;
  for (int n = 1; n <= count; ++n) {
    prompt = findPrompt(store, title);
    if (!prompt) {
      std::cerr << "prompt " << title << " no longer listed\n";
      return false;
    }
    const std::string text = label + " " + std::to_string(n);
    const std::int64_t number = prompt->versions.empty() ? 1 : prompt->versions.back().versionNumber + 1;
    prompt->versions.push_back(PromptVersion{platform::UUID::random(), prompt->id, text, "", number, now()});
    prompt->updatedAt = now();
    if (!completes([&](Completion<void> done) { store.savePrompt(*prompt, std::move(done)); })) return false;
    std::cout << "saved " << text << std::endl;
    // Gives the mirror room to export and import between edits.
    platform::runMainQueueFor(std::chrono::milliseconds(std::rand() % 60));
  }
  return true;
}

bool retitle(CoreDataPromptStore& store, const std::string& title, const std::string& newTitle) {
  std::optional<Prompt> prompt = awaitPrompt(store, title);
  if (!prompt) return false;
  prompt->title = newTitle;
  prompt->updatedAt = now();
  if (!completes([&](Completion<void> done) { store.savePrompt(*prompt, std::move(done)); })) return false;
  std::cout << "saved " << newTitle << std::endl;
  return true;
}

bool deleteByTitle(CoreDataPromptStore& store, const std::string& title) {
  const std::optional<Prompt> prompt = awaitPrompt(store, title);
  if (!prompt) return false;
  if (!completes([&](Completion<void> done) { store.deletePrompt({prompt->id}, std::move(done)); }))
    return false;
  std::cout << "deleted " << title << std::endl;
  return true;
}

// Prints the library in title order (by id among equal titles), so that two machines holding the
// same library print the same lines.
bool printLibrary(CoreDataPromptStore& store) {
  std::optional<PromptList> prompts = listLibrary(store);
  if (!prompts) return false;
  std::sort(prompts->begin(), prompts->end(), [](const SharedPrompt& a, const SharedPrompt& b) {
    return std::tie(a->title, a->id) < std::tie(b->title, b->id);
  });
  for (const SharedPrompt& prompt : *prompts) {
    std::cout << "prompt " << prompt->title << "\n";
    for (const PromptVersion& version : prompt->versions)
      std::cout << "version " << version.versionNumber << " " << version.content << "\n";
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr
        << "usage: velloran_sync_peer put|await|edit|dump|retitle|delete <title> ... | list <seconds>\n";
    return 2;
  }
  const std::string command = argv[1];
  const std::string title = argv[2];

  CoreDataStack stack(false, [](std::string name, std::shared_ptr<const platform::ManagedObjectModel> model) {
    return std::make_shared<platform::MirroredPersistentContainer>(std::move(name), std::move(model));
  });
  auto store = std::make_shared<CoreDataPromptStore>(stack.container());
  auto monitor = CloudKitSyncService::make(stack.container());
  const Subscription problems = monitor->observeEvents([](const velloran::SyncEvent& event) {
    if (event.error) std::cerr << "sync problem: " << event.error->debugDescription() << "\n";
  });

  bool done = false;
  bool saved = false;
  bool exported = false;
  Subscription events;
  if (command == "put") {
    // The prompt is this store's only local change, so any successful export carried it. That
    // export may reach the main queue before the save's own acknowledgement does.
    store->savePrompt(newPrompt(title), [&](platform::Result<void> result) {
      saved = result.ok();
      done = saved && exported;
    });
    events = monitor->observeEvents([&](const velloran::SyncEvent& event) {
      if (event.type != velloran::SyncEvent::Type::Export || !event.succeeded) return;
      exported = true;
      done = saved;
    });
  } else if (command == "await") {
    // As the library does: after a successful import, process history and reload when it brought
    // other machines' changes.
    events = monitor->observeEvents([&](const velloran::SyncEvent& event) {
      if (event.type != velloran::SyncEvent::Type::Import || !event.succeeded) return;
      monitor->processPersistentHistory([&](platform::Result<void>) {
        if (!monitor->takePendingRemoteChanges()) return;
        store->fetchPrompts({}, [&](platform::Result<PromptList> prompts) {
          if (!prompts) return;
          for (const SharedPrompt& prompt : *prompts) {
            if (prompt->title == title && prompt->versions.size() == 1 &&
                prompt->versions[0].content == "Text of " + title) {
              done = true;
            }
          }
        });
      });
    });
  } else if (command == "edit" && argc == 5) {
    std::srand(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    if (!editRepeatedly(*store, title, argv[3], std::atoi(argv[4]))) {
      std::cerr << "edit " << title << ": failed\n";
      return 1;
    }
    // Time for the export delay and a poll: the last saves leave before the process does.
    platform::runMainQueueFor(std::chrono::seconds(2));
    return 0;
  } else if ((command == "retitle" && argc == 4) || (command == "delete" && argc == 3)) {
    if (!(command == "retitle" ? retitle(*store, title, argv[3]) : deleteByTitle(*store, title))) {
      std::cerr << command << " " << title << ": failed\n";
      return 1;
    }
    // As after edits: time for the export delay and a poll.
    platform::runMainQueueFor(std::chrono::seconds(2));
    return 0;
  } else if (command == "list" && argc == 3) {
    platform::runMainQueueFor(std::chrono::seconds(std::atoi(argv[2])));
    return printLibrary(*store) ? 0 : 1;
  } else if (command == "dump" && argc == 4) {
    platform::runMainQueueFor(std::chrono::seconds(std::atoi(argv[3])));
    std::optional<Prompt> prompt = findPrompt(*store, title);
    if (!prompt) return 1;
    for (const PromptVersion& version : prompt->versions) std::cout << "version " << version.content << "\n";
    return 0;
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
