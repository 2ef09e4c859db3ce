// Machines that edit notes and pages, stop and start, run ahead, are put back from backups, have
// their data folders moved, copied and cloned (also while a change has not left them), and lose
// journal lines, in orders drawn from a seeded generator: once all run with right clocks and have
// read everything, each shows the same library, and so does a machine that joins then; and that
// library holds every acknowledged change no later change overrode (MirrorAnyOrderOracle.h). Pages
// are deleted only with their note, as the application deletes a prompt's versions. Record and store
// identities come from the seed too, so a seed replays its run, tie-breaks between stamps and journal
// names included; on a failure the steps taken are printed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <random>

#include "platform/identity/testing/SeededIdentifiers.h"
#include "platform/mirror/tests/MirrorAnyOrderOracle.h"
#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;

constexpr int kSteps = 150;
constexpr int kRuns = 64;
// Copies and clones of data folders that join the three machines.
constexpr std::size_t kLargestFleet = 5;

using Entity = AcknowledgedChanges::Entity;

struct Machine {
  std::string name;
  std::string dataFolder;  // its name in the test's folder: the machine's name, unless moved
  std::unique_ptr<LeadingClock> clock;
  std::unique_ptr<Device> device;  // null while the machine is off
  bool backedUp = false;
};

// What a machine shows: its notes' titles, then its pages with their notes.
struct Library {
  std::vector<std::string> titles;
  std::vector<std::string> pages;
  friend bool operator==(const Library&, const Library&) = default;
};

void PrintTo(const Library& library, std::ostream* out) {
  *out << ::testing::PrintToString(library.titles) << " " << ::testing::PrintToString(library.pages);
}

class MirrorAnyOrder : public MirrorTest, public ::testing::WithParamInterface<int> {
 protected:
  MirrorAnyOrder()
      : identifiers_(static_cast<std::uint64_t>(GetParam())), random_(static_cast<unsigned>(GetParam())) {
    for (const char* name : {"a", "b", "c"}) {
      changes_.addFolder(name);
      addMachine(name);
    }
  }

  void step() {
    Machine& machine = machines_[below(machines_.size())];
    switch (below(14)) {
      case 0:
        startOrStop(machine);
        break;
      case 1:
        setLead(machine, below(2) ? 45 : 0);
        break;
      case 2:
        if (!machine.device) backUpOrRestore(machine);
        break;
      case 3:
        damageAJournal();
        break;
      case 4:
        if (!machine.device) copyOrClone(machine);
        break;
      case 5:
        if (!machine.device) move(machine);
        break;
      case 6:
        if (machine.device) editWithTheFolderAway(machine);
        break;
      case 7: {
        const int polls = static_cast<int>(1 + below(2));
        log("sync " + std::to_string(polls));
        syncAll(polls);
        break;
      }
      default:
        if (Machine* editor = runningMachine()) edit(*editor);
        break;
    }
  }

  // Every machine runs again with a right clock and reads everything, held lines included.
  void settle() {
    for (Machine& machine : machines_) {
      machine.clock->setLead(0);
      if (!machine.device) start(machine);
    }
    syncAll(3);
    dispatch.clock().advanceWall(std::chrono::hours(24 * 100));
    syncAll(4);
  }

  // What the machine shows. A page whose note is gone is not shown; whether a machine keeps it may
  // differ until the note comes back, and the page with it.
  static Library libraryOf(Device& device) {
    std::vector<std::string> pages = device.pages();
    std::erase_if(pages, [](const std::string& page) { return page.ends_with("@-"); });
    return Library{device.titles(), pages};
  }

  // Where the library differs from what the acknowledged changes leave, with the changes of each
  // record concerned.
  std::string departuresFromTheChanges(const Library& library) const {
    const AcknowledgedChanges::Expectations expected = changes_.expectations();
    const std::set<std::string> titles(library.titles.begin(), library.titles.end());
    const std::set<std::string> pages(library.pages.begin(), library.pages.end());
    std::string found;
    const auto report = [&](const std::string& what, const std::string& value) {
      found += what + " " + value + "\n" + changes_.historyOf(value.substr(0, value.find('@')));
    };
    for (const std::string& title : expected.titles)
      if (!titles.count(title)) report("lacks", title);
    for (const std::string& title : expected.absentTitles)
      if (titles.count(title)) report("brought back", title);
    for (const std::string& page : expected.pages)
      if (!pages.count(page)) report("lacks page", page);
    return found;
  }

  std::string steps() {
    std::string described = trace_;
    for (const Machine& machine : machines_)
      described += machine.name + " writes " + machine.device->journalName() + "\n";
    return described;
  }

  std::vector<Machine> machines_;

 private:
  void addMachine(const std::string& name) {
    machines_.push_back(Machine{name, name, std::make_unique<LeadingClock>(dispatch.clock()), nullptr});
    start(machines_.back());
  }

  void start(Machine& machine) {
    machine.device = makeDevice(machine.dataFolder, *machine.clock);
    changes_.readWall(machine.name, machine.clock->now());
  }

  void stop(Machine& machine) {
    machine.device.reset();
    changes_.stopped(machine.name);
  }

  // Lets `polls` poll intervals pass; every running machine has then sent what it made and shows
  // what it has read.
  void syncAll(int polls) {
    sync(polls);
    for (Machine& machine : machines_) {
      changes_.readWall(machine.name, machine.clock->now());
      if (!machine.device) continue;
      changes_.synced(machine.name);
      for (const std::string& title : machine.device->titles()) changes_.showsValue(machine.name, title);
      for (const std::string& page : machine.device->pages())
        changes_.showsValue(machine.name, page.substr(0, page.find('@')));
    }
  }

  std::size_t below(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
  }
  std::string fresh(const std::string& label) { return label + std::to_string(++counter_); }
  void log(const std::string& line) { trace_ += line + "\n"; }

  Machine* runningMachine() {
    std::vector<Machine*> running;
    for (Machine& machine : machines_)
      if (machine.device) running.push_back(&machine);
    return running.empty() ? nullptr : running[below(running.size())];
  }

  std::optional<ManagedObject> anyObject(ManagedObjectContext& context, const std::string& entity) {
    std::vector<ManagedObject> all = fetchAll(context, entity);
    if (all.empty()) return std::nullopt;
    return all[below(all.size())];
  }

  void startOrStop(Machine& machine) {
    log((machine.device ? "stop " : "start ") + machine.name);
    if (machine.device) {
      stop(machine);
    } else {
      start(machine);
    }
  }

  void setLead(Machine& machine, int days) {
    log("lead " + machine.name + " " + std::to_string(days));
    machine.clock->setLead(days);
    changes_.readWall(machine.name, machine.clock->now());
  }

  void backUpOrRestore(Machine& machine) {
    if (machine.backedUp && below(2)) {
      restore(machine);
    } else {
      backUp(machine);
    }
  }

  static std::string backupOf(const Machine& machine) { return machine.name + " backup"; }

  void backUp(Machine& machine) {
    log("back up " + machine.name + " from " + machine.dataFolder);
    std::filesystem::remove_all(folder.path() / backupOf(machine));
    copyDataFolder(machine.dataFolder, backupOf(machine));
    changes_.backUp(machine.name, backupOf(machine));
    machine.backedUp = true;
  }

  void restore(Machine& machine) {
    log("restore " + machine.name + " into " + machine.dataFolder);
    std::filesystem::remove_all(folder.path() / machine.dataFolder);
    copyDataFolder(backupOf(machine), machine.dataFolder);
    changes_.restore(machine.name, backupOf(machine));
  }

  // A copy of a stopped machine's data folder starts beside it under the same store identity,
  // elsewhere (so it takes a journal name of its own) or as a clone of the whole disk: at the same
  // place on a machine of the same name, so it writes under the same journal name at first.
  void copyOrClone(Machine& machine) {
    if (machines_.size() >= kLargestFleet) return;
    const bool clone = below(2);
    const std::string name = fresh(machine.name + (clone ? "=" : "+"));
    log((clone ? "clone " : "copy ") + machine.name + " onto " + name);
    copyDataFolder(machine.dataFolder, name);
    changes_.copyFolder(machine.name, name);
    machines_.push_back(Machine{name, name, std::make_unique<LeadingClock>(dispatch.clock()), nullptr});
    Machine& copy = machines_.back();
    start(copy);
    if (clone) copy.device->claimHome();
  }

  // A stopped machine's data folder is moved to another place, or back to where it was.
  void move(Machine& machine) {
    const std::string to = machine.dataFolder == machine.name ? machine.name + " moved" : machine.name;
    log("move " + machine.name + " to " + to);
    std::filesystem::rename(folder.path() / machine.dataFolder, folder.path() / to);
    machine.dataFolder = to;
  }

  // The machine edits while the mirror folder is away, stops, and its data folder is backed up or
  // copied before the change has left it.
  void editWithTheFolderAway(Machine& machine) {
    log("folder away");
    goOffline();
    edit(machine);
    startOrStop(machine);
    if (below(2)) {
      backUp(machine);
    } else {
      copyOrClone(machine);
    }
    goOnline();
    log("folder back");
  }

  void edit(Machine& machine) {
    Device& device = *machine.device;
    auto context = device.writer();
    const auto did = [&](const std::string& what) { log(machine.name + ": " + what); };
    const auto made = [&](Entity entity, const std::string& record, std::optional<std::string> value,
                          std::optional<std::size_t> overwrote,
                          std::optional<std::string> note = std::nullopt) {
      changes_.made(machine.name, machine.clock->now(), entity, record, std::move(value), overwrote,
                    std::move(note));
    };
    switch (below(5)) {
      case 0: {
        const std::string title = fresh("N");
        const int pages = static_cast<int>(below(3));
        did("add " + title + " pages " + std::to_string(pages));
        device.addNote(title, pages);
        made(Entity::note, title, title, std::nullopt);
        for (int number = 1; number <= pages; ++number) {
          const std::string content = title + " page " + std::to_string(number);
          made(Entity::page, content, content, std::nullopt, title);
        }
        return;
      }
      case 1:
        if (auto note = anyObject(*context, "Note")) {
          const std::string before = text(*note, "title");
          const std::string title = fresh("N");
          did("rename " + before + " -> " + title);
          note->setValue("title", title);
          saveOrFail(*context);
          made(Entity::note, changes_.recordOf(before), title, changes_.changeOf(before));
        }
        return;
      case 2:
        if (auto note = anyObject(*context, "Note")) {
          const std::string title = text(*note, "title");
          did("delete " + title);
          context->deleteObject(*note);
          saveOrFail(*context);
          made(Entity::note, changes_.recordOf(title), std::nullopt, changes_.changeOf(title));
        }
        return;
      case 3:
        if (auto note = anyObject(*context, "Note")) {
          const std::string title = text(*note, "title");
          const std::string content = fresh("p");
          did("add page " + content + " to " + title);
          ManagedObject page = context->insertNewObject("Page");
          page.setValue("content", content);
          page.setValue("number", std::int64_t{1});
          page.setRelatedObject("note", *note);
          saveOrFail(*context);
          made(Entity::page, content, content, std::nullopt, title);
        }
        return;
      default:
        if (auto page = anyObject(*context, "Page")) {
          const std::string before = text(*page, "content");
          const std::string content = fresh("p");
          did("edit page " + before + " -> " + content);
          page->setValue("content", content);
          saveOrFail(*context);
          made(Entity::page, changes_.recordOf(before), content, changes_.changeOf(before));
        }
        return;
    }
  }

  // Cuts one to three lines off a journal, empties it or removes it.
  void damageAJournal() {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::exists(journals()))
      for (const auto& entry : std::filesystem::directory_iterator(journals())) files.push_back(entry.path());
    if (files.empty()) return;
    std::sort(files.begin(), files.end());
    const std::filesystem::path file = files[below(files.size())];
    switch (below(3)) {
      case 0: {
        log("cut " + file.filename().string());
        cutLines(file, 1 + below(3));
        break;
      }
      case 1:
        log("empty " + file.filename().string());
        std::filesystem::resize_file(file, 0);
        break;
      default:
        log("remove " + file.filename().string());
        std::filesystem::remove(file);
        break;
    }
    changes_.journalDamaged();
  }

  SeededIdentifiers identifiers_;
  AcknowledgedChanges changes_;
  std::string trace_;
  std::mt19937 random_;
  int counter_ = 0;
};

TEST_P(MirrorAnyOrder, EveryMachineAndAFreshOneShowTheAcknowledgedLibrary) {
  for (int step = 0; step < kSteps; ++step) this->step();
  settle();

  const Library first = libraryOf(*machines_.front().device);
  for (Machine& machine : machines_) EXPECT_EQ(libraryOf(*machine.device), first) << machine.name;
  auto joining = makeDevice("joining");
  sync(3);
  EXPECT_EQ(libraryOf(*joining), first) << "a machine that joins";
  for (Machine& machine : machines_) {
    EXPECT_EQ(libraryOf(*machine.device), first) << machine.name << " once the new machine wrote";
    EXPECT_EQ(departuresFromTheChanges(libraryOf(*machine.device)), "") << machine.name;
  }
  EXPECT_EQ(departuresFromTheChanges(libraryOf(*joining)), "") << "a machine that joins";
  if (HasFailure()) std::cerr << "The steps taken:\n" << steps();
}

INSTANTIATE_TEST_SUITE_P(Seeds, MirrorAnyOrder, ::testing::Range(0, kRuns));

}  // namespace
}  // namespace platform
