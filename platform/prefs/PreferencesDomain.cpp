#include "platform/prefs/PreferencesDomain.h"

#include <atomic>
#include <map>

#include "platform/bundle/Bundle.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/paths/FileIO.h"
#include "platform/paths/PathsError.h"
#include "platform/paths/UserDirectories.h"
#include "platform/plist/PropertyList.h"
#include "platform/prefs/PreferencesError.h"
#include "platform/syslog/SystemLogClient.h"

namespace platform {
namespace {

// The unnamed application domain's key in the table; named() refuses the empty name, so no caller
// can reach it by name.
const std::string kUnidentifiedApplication;

struct DomainTable {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<PreferencesDomain>, std::less<>> domains;
  std::atomic<std::uint64_t> generation{0};
};

DomainTable& domainTable() {
  static auto* table = new DomainTable;
  return *table;
}

// Encoding the value alone finds everything the file could not hold, before it can spoil the
// domain's next write.
Result<void> checkStorable(std::string_view key, const Value& value) {
  std::optional<Error> cause;
  if (!value.isPropertyListValue()) {
    cause =
        Error(std::string(kPropertyListErrorDomain), PropertyListErrorCode::Unrepresentable, "null value");
  } else if (auto encoded = writePropertyList(value, PropertyListFormat::Xml); !encoded) {
    cause = encoded.error();
  }
  if (!cause) return {};
  return preferencesError(PreferencesErrorCode::InvalidValue,
                          "Cannot store a value without a property-list form under \"" + std::string(key) +
                              "\": " + value.description())
      .causedBy(*cause);
}

constexpr int kErrorLevel = 3;

// Where the layer says what went wrong with a domain's file; a developer at the console sees it too.
SystemLogClient& preferencesLog() {
  static auto* log = new SystemLogClient("platform.prefs", SystemLogOptions{.echoToStandardError = true});
  return *log;
}

void requireFileName(std::string_view name) {
  if (!isPlainFileName(name)) {
    throw ProgrammerError("InvalidArgument",
                          "A preferences domain name must be a file name, not \"" + std::string(name) + "\"");
  }
}

}  // namespace

PreferencesDomain::PreferencesDomain(std::string name, bool persistent)
    : name_(std::move(name)), persistent_(persistent) {}

std::shared_ptr<PreferencesDomain> PreferencesDomain::lookup(const std::string& name, bool persistent) {
  DomainTable& table = domainTable();
  std::lock_guard lock(table.mutex);
  auto& domain = table.domains[name];
  if (!domain) domain.reset(new PreferencesDomain(name, persistent));
  return domain;
}

std::shared_ptr<PreferencesDomain> PreferencesDomain::named(std::string_view name) {
  requireFileName(name);
  return lookup(std::string(name), true);
}

std::shared_ptr<PreferencesDomain> PreferencesDomain::application() {
  // An identifier that cannot name a file is as good as none: it comes from the Info.plist, not from
  // the caller, so it must not raise.
  auto identifier = Bundle::main()->bundleIdentifier();
  if (identifier && isPlainFileName(*identifier)) return named(*identifier);
  return lookup(kUnidentifiedApplication, false);
}

Result<void> PreferencesDomain::removeDomain(std::string_view name) {
  return named(name)->removeAll();
}

void PreferencesDomain::resetForTesting() {
  DomainTable& table = domainTable();
  std::lock_guard lock(table.mutex);
  table.domains.clear();
  table.generation.fetch_add(1);
}

std::uint64_t PreferencesDomain::tableGeneration() {
  return domainTable().generation.load();
}

std::optional<PreferencesFile> PreferencesDomain::locateFile() const {
  if (!persistent_) return std::nullopt;
  Result<std::filesystem::path> folder = applicationConfigDirectory();
  if (!folder) {
    // A folder that cannot be made (a read-only or full disk) is still where the values belong:
    // writes there fail and say so, rather than the values quietly living in memory only.
    if (!isPathsError(folder.error(), PathsErrorCode::CreateDirectoryFailed)) return std::nullopt;
    Result<std::filesystem::path> configHome = UserDirectories::current().configHome();
    std::optional<std::string> identifier = Bundle::main()->bundleIdentifier();
    if (!configHome || !identifier) return std::nullopt;
    folder = *configHome / *identifier;
  }
  return PreferencesFile(*folder / "Preferences" / (name_ + ".plist"));
}

void PreferencesDomain::ensureLoaded() {
  if (loaded_) return;
  loaded_ = true;
  std::optional<PreferencesFile> file = locateFile();
  if (!file) return;
  PreferencesFile::Loaded loaded = file->load();
  values_ = std::move(loaded.values);
  // A file that could be neither read nor set aside stays the domain's all the same: each write then
  // fails on it without touching it, and is reported, until it can be read or set aside.
  file_ = std::move(file);
}

std::optional<Value> PreferencesDomain::objectForKey(std::string_view key) {
  std::lock_guard lock(stateMutex_);
  ensureLoaded();
  auto found = values_.find(key);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

bool PreferencesDomain::boolForKey(std::string_view key) {
  auto value = objectForKey(key);
  return value && value->boolValue();
}

std::int64_t PreferencesDomain::integerForKey(std::string_view key) {
  auto value = objectForKey(key);
  return value ? value->integerValue() : 0;
}

double PreferencesDomain::doubleForKey(std::string_view key) {
  auto value = objectForKey(key);
  return value ? value->doubleValue() : 0;
}

std::optional<std::string> PreferencesDomain::stringForKey(std::string_view key) {
  auto value = objectForKey(key);
  if (!value || !(value->isString() || value->isNumber())) return std::nullopt;
  return value->stringValue();
}

std::optional<Array> PreferencesDomain::arrayForKey(std::string_view key) {
  auto value = objectForKey(key);
  if (!value || !value->isArray()) return std::nullopt;
  return std::move(*value->asArray());
}

std::optional<Dictionary> PreferencesDomain::dictionaryForKey(std::string_view key) {
  auto value = objectForKey(key);
  if (!value || !value->isDictionary()) return std::nullopt;
  return std::move(*value->asDictionary());
}

Result<void> PreferencesDomain::setObject(std::string_view key, Value value) {
  if (auto storable = checkStorable(key, value); !storable) return storable;
  {
    std::lock_guard lock(stateMutex_);
    ensureLoaded();
    values_.insert_or_assign(std::string(key), std::move(value));
    noteChanged(key);
  }
  Result<void> written = persist();
  announce(std::string(key));
  // A memory-only domain is no failure of this change; a write that failed is, though the change
  // stays in memory, pending.
  if (!written.ok() && !isPreferencesError(written.error(), PreferencesErrorCode::NotPersistent))
    return written;
  return {};
}

void PreferencesDomain::removeObject(std::string_view key) {
  {
    std::lock_guard lock(stateMutex_);
    ensureLoaded();
    auto found = values_.find(key);
    if (found == values_.end()) return;
    values_.erase(found);
    noteChanged(key);
  }
  // Removal reports nothing; a failed write stays pending for synchronize() to retry.
  static_cast<void>(persist());
  announce(std::string(key));
}

void PreferencesDomain::noteChanged(std::string_view key) {
  ++changeCount_;
  // A memory-only domain never writes; its keys need no account.
  if (file_) pendingKeys_.insert_or_assign(std::string(key), changeCount_);
}

bool PreferencesDomain::synchronize() {
  return persist().ok();
}

Result<void> PreferencesDomain::persist() {
  std::lock_guard writing(writeMutex_);
  PreferencesFile::Changes changes;
  bool replacingAll = false;
  std::uint64_t snapshotCount;
  std::optional<PreferencesFile> file;
  Dictionary held;
  {
    std::lock_guard lock(stateMutex_);
    ensureLoaded();
    if (!file_) {
      return preferencesError(PreferencesErrorCode::NotPersistent,
                              "The domain \"" + name_ + "\" keeps its values in memory only");
    }
    if (changeCount_ == savedChangeCount_) return {};
    for (const auto& [key, changedAt] : pendingKeys_) {
      auto found = values_.find(key);
      changes.emplace(key, found == values_.end() ? std::nullopt : std::optional<Value>(found->second));
    }
    replacingAll = pendingRemoval_;
    snapshotCount = changeCount_;
    file = file_;
    held = values_;
  }
  if (Result<void> saved = file->save(changes, replacingAll, held); !saved) {
    // One line for a run of failed writes: a folder that refuses them fails every later one too.
    if (!writesFailing_) {
      preferencesLog().write(kErrorLevel, "Preferences \"" + name_ + "\" cannot be saved in " +
                                              file->path().parent_path().string() +
                                              ", changes stay in memory: " + saved.error().description);
    }
    writesFailing_ = true;
    return saved;
  }
  writesFailing_ = false;
  // Changes made while this write ran are pending; their own write-through follows. A removal of the
  // whole domain waits for this write (both hold writeMutex_), so none came in between.
  std::lock_guard lock(stateMutex_);
  savedChangeCount_ = snapshotCount;
  std::erase_if(pendingKeys_, [&](const auto& pending) { return pending.second <= snapshotCount; });
  pendingRemoval_ = false;
  return {};
}

Result<void> PreferencesDomain::removeAll() {
  std::lock_guard writing(writeMutex_);
  std::optional<PreferencesFile> file;
  std::uint64_t clearedCount;
  {
    std::lock_guard lock(stateMutex_);
    // The file is going anyway; reading it first would only move a damaged one aside to no purpose.
    if (!loaded_) {
      loaded_ = true;
      file_ = locateFile();
    }
    values_.clear();
    pendingKeys_.clear();
    clearedCount = ++changeCount_;
    file = file_;
  }
  Result<void> result =
      file ? file->remove()
           : Result<void>(preferencesError(PreferencesErrorCode::NotPersistent,
                                           "The domain \"" + name_ + "\" has no file to remove"));
  {
    std::lock_guard lock(stateMutex_);
    if (result.ok()) {
      // The disk now holds the emptied domain; changes made since are pending.
      savedChangeCount_ = clearedCount;
    } else {
      pendingRemoval_ = true;
    }
  }
  announce(std::nullopt);
  return result;
}

void PreferencesDomain::announce(const std::optional<std::string>& key) {
  Dictionary userInfo{{kPreferencesDomainKey, Value(name_)}};
  if (key) userInfo.emplace(kPreferencesChangedKey, Value(*key));
  NotificationCenter::defaultCenter().post(kPreferencesDidChangeNotification, this, std::move(userInfo));
}

}  // namespace platform
