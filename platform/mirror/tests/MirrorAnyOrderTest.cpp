// Machines that edit notes and pages, stop and start, run ahead, are put back from backups, are
// cloned, and lose journal lines, in orders drawn from a seeded generator: once all run with right
// clocks and have read everything, each shows the same library, and so does a machine that joins
// then. Pages are deleted only with their note, as the application deletes a prompt's versions.
// Record and store identities are random, so each run also draws its own tie-breaks between stamps
// and journal names; on a failure the steps taken are printed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <random>

#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform {
namespace {

using namespace testing;

constexpr int kSteps = 150;
constexpr int kRuns = 24;

struct Machine {
  std::string name;
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
  MirrorAnyOrder() : random_(static_cast<unsigned>(GetParam())) {
    for (const char* name : {"a", "b", "c"}) addMachine(name);
  }

  void step() {
    Machine& machine = machines_[below(machines_.size())];
    switch (below(12)) {
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
        // A copy of a stopped machine's disk starts beside it, under the same store identity.
        if (!machine.device && machines_.size() < 5) {
          const std::string name = fresh(machine.name + "+");
          copyDataFolder(machine.name, name);
          log("copy " + machine.name + " onto " + name);
          addMachine(name);
        }
        break;
      case 5: {
        const int polls = static_cast<int>(1 + below(2));
        log("sync " + std::to_string(polls));
        sync(polls);
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
      if (!machine.device) machine.device = makeDevice(machine.name, *machine.clock);
    }
    sync(3);
    dispatch.clock().advanceWall(std::chrono::hours(24 * 100));
    sync(4);
  }

  // What the machine shows. A page whose note is gone is not shown; whether a machine keeps it may
  // differ until the note comes back, and the page with it.
  static Library libraryOf(Device& device) {
    std::vector<std::string> pages = device.pages();
    std::erase_if(pages, [](const std::string& page) { return page.ends_with("@-"); });
    return Library{device.titles(), pages};
  }

  std::string steps() const {
    std::string described = trace_;
    for (const Machine& machine : machines_)
      described += machine.name + " writes " + journalOf(*machine.device).filename().string() + "\n";
    return described;
  }

  std::vector<Machine> machines_;

 private:
  void addMachine(const std::string& name) {
    Machine machine{name, std::make_unique<LeadingClock>(dispatch.clock()), nullptr};
    machine.device = makeDevice(name, *machine.clock);
    machines_.push_back(std::move(machine));
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
      machine.device.reset();
    } else {
      machine.device = makeDevice(machine.name, *machine.clock);
    }
  }

  void setLead(Machine& machine, int days) {
    log("lead " + machine.name + " " + std::to_string(days));
    machine.clock->setLead(days);
  }

  void backUpOrRestore(Machine& machine) {
    const std::string backup = machine.name + " backup";
    if (machine.backedUp && below(2)) {
      log("restore " + machine.name);
      std::filesystem::remove_all(folder.path() / machine.name);
      copyDataFolder(backup, machine.name);
    } else {
      log("back up " + machine.name);
      std::filesystem::remove_all(folder.path() / backup);
      copyDataFolder(machine.name, backup);
      machine.backedUp = true;
    }
  }

  void edit(Machine& machine) {
    Device& device = *machine.device;
    auto context = device.writer();
    const auto did = [&](const std::string& what) { log(machine.name + ": " + what); };
    switch (below(5)) {
      case 0: {
        const std::string title = fresh("N");
        const int pages = static_cast<int>(below(3));
        did("add " + title + " pages " + std::to_string(pages));
        device.addNote(title, pages);
        return;
      }
      case 1:
        if (auto note = anyObject(*context, "Note")) {
          const std::string title = fresh("N");
          did("rename " + text(*note, "title") + " -> " + title);
          note->setValue("title", title);
        }
        break;
      case 2:
        if (auto note = anyObject(*context, "Note")) {
          did("delete " + text(*note, "title"));
          context->deleteObject(*note);
        }
        break;
      case 3:
        if (auto note = anyObject(*context, "Note")) {
          const std::string content = fresh("p");
          did("add page " + content + " to " + text(*note, "title"));
          ManagedObject page = context->insertNewObject("Page");
          page.setValue("content", content);
          page.setValue("number", std::int64_t{1});
          page.setRelatedObject("note", *note);
        }
        break;
      default:
        if (auto page = anyObject(*context, "Page")) {
          const std::string content = fresh("p");
          did("edit page " + text(*page, "content") + " -> " + content);
          page->setValue("content", content);
        }
        break;
    }
    if (context->hasChanges()) saveOrFail(*context);
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
  }

  std::string trace_;
  std::mt19937 random_;
  int counter_ = 0;
};

TEST_P(MirrorAnyOrder, EveryMachineAndAFreshOneShowTheSameLibrary) {
  for (int step = 0; step < kSteps; ++step) this->step();
  settle();

  const Library first = libraryOf(*machines_.front().device);
  for (Machine& machine : machines_) EXPECT_EQ(libraryOf(*machine.device), first) << machine.name;
  auto joining = makeDevice("joining");
  sync(3);
  EXPECT_EQ(libraryOf(*joining), first) << "a machine that joins";
  for (Machine& machine : machines_)
    EXPECT_EQ(libraryOf(*machine.device), first) << machine.name << " once the new machine wrote";
  if (HasFailure()) std::cerr << "The steps taken:\n" << steps();
}

INSTANTIATE_TEST_SUITE_P(Seeds, MirrorAnyOrder, ::testing::Range(0, kRuns));

}  // namespace
}  // namespace platform
