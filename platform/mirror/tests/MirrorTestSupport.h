#pragma once
// Shared by the mirror's tests: devices (a mirrored container over its own store file, with its own
// notification centre and a record of the mirror's events) that share one mirror folder, all driven
// by one deterministic dispatch backend, over the notebook model of the store layer's tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorEvent.h"
#include "platform/mirror/MirrorFolder.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/pstore/testing/StoreTestSupport.h"

namespace platform::testing {

inline constexpr std::chrono::seconds kPollInterval{1};
inline constexpr std::chrono::milliseconds kExportDelay{300};
inline constexpr const char* kContainerIdentifier = "notebook.library";

inline MirrorSettings testSettings(const std::filesystem::path& root) {
  MirrorSettings settings = MirrorSettings::configured(root);
  settings.pollInterval = kPollInterval;
  settings.exportDelay = kExportDelay;
  return settings;
}

inline StoreDescription mirroredStore(const std::filesystem::path& path) {
  StoreDescription description = fileStore(path);
  description.cloudMirrorOptions = CloudMirrorOptions{kContainerIdentifier};
  return description;
}

// One machine: its Application Support folder holds its store; the mirror folder is shared.
class Device {
 public:
  Device(const std::filesystem::path& folder, MirrorSettings settings, const Clock& clock)
      : folder_(folder),
        container_(std::make_unique<MirroredPersistentContainer>("Notebook", makeNotebookModel(),
                                                                 std::move(settings), clock, center_)),
        events_(center_.addObserver(std::string(kMirrorEventChangedNotification),
                                    container_->notificationSender(), nullptr,
                                    [this](const Notification& notification) {
                                      if (auto event = MirrorEvent::fromNotification(notification))
                                        events.push_back(*event);
                                    })) {
    std::filesystem::create_directories(folder_);
    load();
  }

  void load() {
    std::optional<Error> failure = platform::testing::load(*container_, mirroredStore(storePath()));
    if (failure) ADD_FAILURE() << "store did not load: " << failure->debugDescription();
  }

  // Destroys the store and loads a new, empty one in its place, as the application does with a
  // store its model cannot open.
  void resetStore() {
    Result<void> destroyed = container_->persistentStoreCoordinator()->destroyPersistentStore(storePath());
    ASSERT_TRUE(destroyed.ok()) << destroyed.error().debugDescription();
    load();
  }

  // Records where the store is as where it was last seen, before its mirror starts: a disk cloned
  // with its host name and home path looks to the mirror like the original.
  void claimHome() {
    char host[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    auto context = container_->newBackgroundContext();
    context->setMetadataValue("mirror.home", std::string(host) + "\n" + storePath().string());
    saveOrFail(*context);
  }

  // The name the mirror writes this store's journal under.
  std::string journalName() {
    auto context = container_->newBackgroundContext();
    std::optional<UUID> device = valueOrFail(MirrorBookkeeping(*context).device());
    return (device ? *device : this->device()).uuidString();
  }

  std::filesystem::path storePath() const { return folder_ / "Notebook.sqlite"; }
  MirroredPersistentContainer& container() { return *container_; }
  NotificationCenter& center() { return center_; }
  UUID device() const { return container_->persistentStoreCoordinator()->persistentStore()->identifier(); }

  std::shared_ptr<ManagedObjectContext> writer() {
    auto context = container_->newBackgroundContext();
    context->setTransactionAuthor("Notebook");
    return context;
  }

  // A note with pages "<title> page 1".. saved in one transaction.
  UUID addNote(const std::string& title, int pages = 0) {
    auto context = writer();
    ManagedObject note = context->insertNewObject("Note");
    note.setValue("title", title);
    for (int number = 1; number <= pages; ++number) {
      ManagedObject page = context->insertNewObject("Page");
      page.setValue("content", title + " page " + std::to_string(number));
      page.setValue("number", std::int64_t{number});
      page.setRelatedObject("note", note);
    }
    saveOrFail(*context);
    return note.recordName();
  }

  // Adds a page to the note, and marks the note as updated, in one save.
  void addPage(const std::string& title, const std::string& content, Date now) {
    auto context = writer();
    std::optional<ManagedObject> found = note(title, *context);
    ASSERT_TRUE(found) << "no note " << title;
    ManagedObject page = context->insertNewObject("Page");
    page.setValue("content", content);
    page.setRelatedObject("note", *found);
    found->setValue("updatedAt", now);
    saveOrFail(*context);
  }

  std::optional<ManagedObject> note(const std::string& title, ManagedObjectContext& context) {
    for (const ManagedObject& note : fetchAll(context, "Note")) {
      if (text(note, "title") == title) return note;
    }
    return std::nullopt;
  }

  void rename(const std::string& from, const std::string& to) {
    auto context = writer();
    std::optional<ManagedObject> found = note(from, *context);
    ASSERT_TRUE(found) << "no note " << from;
    found->setValue("title", to);
    saveOrFail(*context);
  }

  void remove(const std::string& title) {
    auto context = writer();
    std::optional<ManagedObject> found = note(title, *context);
    ASSERT_TRUE(found) << "no note " << title;
    context->deleteObject(*found);
    saveOrFail(*context);
  }

  std::vector<std::string> titles() {
    std::vector<std::string> all;
    for (const ManagedObject& note : fetchAll(*container_->newBackgroundContext(), "Note", {{"title", true}}))
      all.push_back(text(note, "title"));
    return all;
  }

  // "<content>@<note title>" for every page, sorted; "-" for a page without a note.
  std::vector<std::string> pages() {
    std::vector<std::string> all;
    for (const ManagedObject& page : fetchAll(*container_->newBackgroundContext(), "Page")) {
      std::optional<ManagedObject> owner = page.relatedObject("note");
      all.push_back(text(page, "content") + "@" + (owner ? text(*owner, "title") : "-"));
    }
    std::sort(all.begin(), all.end());
    return all;
  }

  std::vector<HistoryTransaction> history() {
    return valueOrFail(container_->newBackgroundContext()->fetchHistory(std::nullopt));
  }

  // The ended events of one kind, in the order posted.
  std::vector<MirrorEvent> ended(MirrorEvent::Type type) const {
    std::vector<MirrorEvent> found;
    for (const MirrorEvent& event : events) {
      if (event.type == type && event.endDate) found.push_back(event);
    }
    return found;
  }

  std::vector<MirrorEvent> events;

 private:
  std::filesystem::path folder_;
  NotificationCenter center_;
  std::unique_ptr<MirroredPersistentContainer> container_;
  ObserverToken events_;
};

inline constexpr double kDay = 86400.0;

// Another clock's readings with a wall clock running ahead of it by a lead the test sets.
class LeadingClock final : public Clock {
 public:
  explicit LeadingClock(const Clock& base) : base_(base) {}

  void setLead(double days) { leadSeconds_ = days * kDay; }

  Date now() const override { return Date{base_.now().secondsSinceReferenceDate + leadSeconds_}; }
  std::chrono::nanoseconds monotonicNow() const override { return base_.monotonicNow(); }
  double secondsSinceBoot() const override { return base_.secondsSinceBoot(); }

 private:
  const Clock& base_;
  double leadSeconds_ = 0;
};

// A mirror folder and the devices sharing it, all on one deterministic backend and clock.
class MirrorTest : public ::testing::Test {
 protected:
  MirrorTest() { std::filesystem::create_directories(root()); }

  std::filesystem::path root() const { return folder.path() / "mirror"; }
  std::filesystem::path journals() const { return root() / kContainerIdentifier / "journal"; }

  std::unique_ptr<Device> makeDevice(const std::string& name) { return makeDevice(name, dispatch.clock()); }
  // A device that reads the time from `clock`.
  std::unique_ptr<Device> makeDevice(const std::string& name, const Clock& clock) {
    const std::filesystem::path mirror = doors_.count(name) ? doorOf(name) : root();
    return std::make_unique<Device>(folder.path() / name, testSettings(mirror), clock);
  }

  // From now on the machine `name` reaches the shared mirror folder through a mirror root of its own
  // that links to it, so that its folder can be away (setAway) while the others' is there.
  void giveOwnDoor(const std::string& name) {
    std::filesystem::create_directories(root() / kContainerIdentifier);
    std::filesystem::create_directories(doorOf(name));
    std::filesystem::create_directory_symlink(root() / kContainerIdentifier,
                                              doorOf(name) / kContainerIdentifier);
    doors_.insert(name);
  }
  void setAway(const std::string& name, bool away) const {
    const std::filesystem::path marker = doorOf(name) / std::string(kMirrorOfflineMarker);
    if (away) {
      std::ofstream(marker).put('\n');
    } else {
      std::filesystem::remove(marker);
    }
  }

  std::filesystem::path journalOf(const Device& device) const {
    return journals() / (device.device().uuidString() + ".jsonl");
  }

  // Copies the device's data folder aside, as a backup, and starts it again.
  void backUp(std::unique_ptr<Device>& device, const std::string& name) {
    device.reset();
    copyDataFolder(name, name + " backup");
    device = makeDevice(name);
  }

  // Stops the device and puts its backup in its data folder's place.
  void restoreBackup(std::unique_ptr<Device>& device, const std::string& name) {
    device.reset();
    std::filesystem::remove_all(folder.path() / name);
    std::filesystem::rename(folder.path() / (name + " backup"), folder.path() / name);
  }

  // Copies a stopped device's data folder to another place, as a user moving to a new machine does.
  void copyDataFolder(const std::string& from, const std::string& to) const {
    std::filesystem::copy(folder.path() / from, folder.path() / to, std::filesystem::copy_options::recursive);
  }

  // Cuts the last `lines` complete lines off the file, or all it has.
  static void cutLines(const std::filesystem::path& file, std::size_t lines) {
    std::string contents = fileContents(file);
    for (std::size_t cut = 0; cut < lines && !contents.empty(); ++cut) {
      contents.pop_back();
      const std::size_t lineBreak = contents.rfind('\n');
      contents.erase(lineBreak == std::string::npos ? 0 : lineBreak + 1);
    }
    std::ofstream(file, std::ios::trunc | std::ios::binary) << contents;
  }

  // The bytes all journals in the folder hold together.
  std::uintmax_t journalBytes() const {
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(journals())) bytes += entry.file_size();
    return bytes;
  }

  // The shared wall clock's reading.
  Date now() { return dispatch.clock().now(); }

  // The mirror folder is away for every machine (its offline marker), or back.
  void goOffline() const { std::ofstream(root() / std::string(kMirrorOfflineMarker)).put('\n'); }
  void goOnline() const { std::filesystem::remove(root() / std::string(kMirrorOfflineMarker)); }

  // What a fresh machine shows once it has read copies of `journals`, named so that it reads them in
  // the order given: its titles, then its pages.
  std::pair<std::vector<std::string>, std::vector<std::string>> freshReading(
      const std::vector<std::filesystem::path>& journals) {
    const std::string name = "fresh " + std::to_string(++freshMachines_);
    const std::filesystem::path mirror = folder.path() / (name + " mirror");
    const std::filesystem::path copies = mirror / kContainerIdentifier / "journal";
    std::filesystem::create_directories(copies);
    for (std::size_t position = 0; position < journals.size(); ++position) {
      std::string digits = std::to_string(position);
      digits.insert(0, 8 - digits.size(), '0');
      std::filesystem::copy_file(journals[position],
                                 copies / (digits + "-0000-4000-8000-000000000000.jsonl"));
    }
    Device fresh(folder.path() / name, testSettings(mirror), dispatch.clock());
    sync(2);
    return {fresh.titles(), fresh.pages()};
  }

  // Every order a fresh machine may read `journals` in shows `titles` and `pages`.
  void expectEveryReadingOrderShows(std::vector<std::filesystem::path> journals,
                                    const std::vector<std::string>& titles,
                                    const std::vector<std::string>& pages) {
    std::sort(journals.begin(), journals.end());
    do {
      std::string order;
      for (const auto& journal : journals) order += journal.stem().string().substr(0, 8) + " ";
      const auto [freshTitles, freshPages] = freshReading(journals);
      EXPECT_EQ(freshTitles, titles) << "reading " << order;
      EXPECT_EQ(freshPages, pages) << "reading " << order;
    } while (std::next_permutation(journals.begin(), journals.end()));
  }

  // A fresh machine that reads `journals` in the order given, and one that reads them the other way
  // round, show `titles` and `pages`.
  void expectBothReadingOrdersShow(std::vector<std::filesystem::path> journals,
                                   const std::vector<std::string>& titles,
                                   const std::vector<std::string>& pages) {
    for (int order = 0; order < 2; ++order) {
      const auto [freshTitles, freshPages] = freshReading(journals);
      EXPECT_EQ(freshTitles, titles) << (order == 0 ? "reading forward" : "reading backward");
      EXPECT_EQ(freshPages, pages) << (order == 0 ? "reading forward" : "reading backward");
      std::reverse(journals.begin(), journals.end());
    }
  }

  // Every journal in the mirror folder.
  std::vector<std::filesystem::path> journalFiles() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(journals())) files.push_back(entry.path());
    return files;
  }

  // Lets the mirrors start (they wait for the main queue), then lets `polls` poll intervals pass.
  void sync(int polls = 1) {
    dispatch.drain();
    for (int i = 0; i < polls; ++i) dispatch.advance(kPollInterval);
  }

  DeterministicDispatch dispatch;
  TemporaryDirectory folder;

 private:
  std::filesystem::path doorOf(const std::string& name) const { return folder.path() / (name + " door"); }

  int freshMachines_ = 0;
  std::set<std::string> doors_;
};

// A device that exists only as a journal in the folder.
class WrittenDevice {
 public:
  explicit WrittenDevice(std::filesystem::path journals) : journals_(std::move(journals)) {}

  JournalEntry note(std::int64_t clock, const UUID& record, const std::string& title) const {
    JournalEntry entry = base(clock, "Note", record);
    entry.fields.attributes = {{"title", AttributeValue(title)}};
    return entry;
  }
  JournalEntry page(std::int64_t clock, const UUID& record, const std::string& content,
                    const UUID& note) const {
    JournalEntry entry = base(clock, "Page", record);
    entry.fields.attributes = {{"content", AttributeValue(content)}};
    entry.fields.references = {{"note", note}};
    return entry;
  }
  JournalEntry deletion(std::int64_t clock, const std::string& entity, const UUID& record) const {
    JournalEntry entry = base(clock, entity, record);
    entry.operation = JournalEntry::Operation::Delete;
    return entry;
  }

  void write(const std::vector<JournalEntry>& entries) const {
    std::vector<std::string> lines;
    for (const JournalEntry& entry : entries) lines.push_back(encodeJournalLine(entry));
    writeLines(lines);
  }
  void writeLines(const std::vector<std::string>& lines) const {
    std::filesystem::create_directories(journals_);
    ASSERT_TRUE(appendJournalLines(file(), lines).ok());
  }
  void writeRaw(const std::string& bytes) const {
    std::filesystem::create_directories(journals_);
    std::ofstream(file(), std::ios::app | std::ios::binary) << bytes;
  }

  std::filesystem::path file() const { return journals_ / (id.uuidString() + ".jsonl"); }

  const UUID id = UUID::random();

 private:
  JournalEntry base(std::int64_t clock, const std::string& entity, const UUID& record) const {
    JournalEntry entry;
    entry.stamp = RecordStamp{clock, id};
    entry.entity = entity;
    entry.record = record;
    return entry;
  }

  std::filesystem::path journals_;
};

// The complete lines a file holds.
inline std::size_t lineCount(const std::filesystem::path& file) {
  const std::string contents = fileContents(file);
  return static_cast<std::size_t>(std::count(contents.begin(), contents.end(), '\n'));
}

inline bool isFailure(const MirrorEvent& event, CloudMirrorErrorCode code) {
  return !event.succeeded && event.error && isCloudMirrorError(*event.error, code);
}

}  // namespace platform::testing
