#pragma once
// Preference domains: small key/value stores of property-list values that outlive the process. The
// application's own domain is named after the main bundle's identifier; other domains ("suites") are
// named by their users. This is the store behind the app's settings and the SDK's persisted state.
//
// One object per domain. named() hands every caller the same object for the same name (a
// process-wide table that lives as long as the process), so a value written through any holder is
// seen by every later read through any other, on any thread.
//
// Storage. A domain lives in $XDG_CONFIG_HOME/<main bundle id>/Preferences/<domain>.plist as an XML
// property list. It is read on first use. Every change is written through to disk at once,
// atomically (see writeFileAtomically); a write that fails stays pending, and synchronize() retries
// it and reports. A write carries only the keys changed here over what the file holds at that
// moment, so another process holding the same domain keeps its changes; what it wrote is seen here
// after a restart, not at once. The first failed write of a run of them (a folder that refuses
// writes fails them all) is written as one error line to the system log and standard error, naming
// the domain, the folder and the reason. A file that cannot be read or parsed is renamed aside
// (".corrupt-<unix seconds>") and the domain starts empty; if it cannot even be renamed, it is never
// written over: each write fails on it and is reported, the changes pending, until it can be read or
// renamed. One found damaged at a later write is renamed aside the same way, and that write keeps
// every value the domain holds. Without a home folder or bundle identifier the domain is memory-only;
// a folder that is known but cannot be made is not: every write there fails and is reported.
//
// Reads are lenient: typed reads convert what is stored the way settings users expect (a string
// "YES" reads as true, a number reads as its text) and never fail on a value of another kind.
//
// Threads. Every member may be called from any thread. Reads never wait for a disk write: files are
// written from a snapshot, outside the lock that guards the values.
//
// Notifications. After each change the domain posts kPreferencesDidChangeNotification on the default
// notification centre, synchronously on the thread that made the change, with the domain object as
// sender and user info {"domain": name, "key": changed key}; "key" is absent when the whole domain
// was removed.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/prefs/PreferencesFile.h"
#include "platform/value/Value.h"

namespace platform {

inline constexpr const char* kPreferencesDidChangeNotification = "PreferencesDomainDidChangeNotification";
inline constexpr const char* kPreferencesDomainKey = "domain";
inline constexpr const char* kPreferencesChangedKey = "key";

class PreferencesDomain {
 public:
  // The domain of that name. A name must work as a file name: not empty, not "." or "..", no "/".
  // Anything else is a programmer error (ProgrammerError).
  static std::shared_ptr<PreferencesDomain> named(std::string_view name);
  // The application's own domain: named(main bundle identifier). Without an identifier it is one
  // unnamed, memory-only domain, so callers still work and simply keep nothing.
  static std::shared_ptr<PreferencesDomain> application();
  // Empties the domain and deletes its file (the reset of a fresh start). An error when the file
  // cannot be deleted or the domain has no file location; the values are gone from memory either way.
  static Result<void> removeDomain(std::string_view name);
  // Drops the process-wide table, so the next named() reads the disk again as after a restart.
  // Objects handed out before keep working but are no longer shared with new ones.
  static void resetForTesting();
  // Changes each time the table is dropped: a holder that keeps a domain object between calls keeps
  // it only while this is what it was when the object was looked up.
  static std::uint64_t tableGeneration();

  PreferencesDomain(const PreferencesDomain&) = delete;
  PreferencesDomain& operator=(const PreferencesDomain&) = delete;

  // Empty for the unnamed application domain.
  const std::string& name() const { return name_; }

  std::optional<Value> objectForKey(std::string_view key);
  // Numbers, and strings parsed leniently; false / 0 for anything else and when absent.
  bool boolForKey(std::string_view key);
  std::int64_t integerForKey(std::string_view key);
  double doubleForKey(std::string_view key);
  // A string as stored, a number as its decimal text; nullopt for other kinds.
  std::optional<std::string> stringForKey(std::string_view key);
  // Only when the stored value is of that kind.
  std::optional<Array> arrayForKey(std::string_view key);
  std::optional<Dictionary> dictionaryForKey(std::string_view key);

  // Stores `value` and writes the domain through. A value that has no property-list form (a null
  // anywhere inside, text that is not UTF-8, a date beyond what the file format holds) is refused
  // with an InvalidValue error and nothing changes. A write that fails is returned as the error,
  // while the change stays in memory, pending (synchronize() retries it); a memory-only domain is
  // no failure.
  Result<void> setObject(std::string_view key, Value value);
  // Removing a key that is not there does nothing.
  void removeObject(std::string_view key);

  // Writes any change not yet on disk. True when the disk holds every value; false for a memory-only
  // domain or when the write failed.
  bool synchronize();

 private:
  PreferencesDomain(std::string name, bool persistent);
  static std::shared_ptr<PreferencesDomain> lookup(const std::string& name, bool persistent);

  // These need stateMutex_ held.
  void ensureLoaded();
  std::optional<PreferencesFile> locateFile() const;
  // Counts a change of `key` and marks it for the next write.
  void noteChanged(std::string_view key);

  // Writes any pending change: NotPersistent for a memory-only domain, the file's error when the
  // write fails.
  Result<void> persist();
  Result<void> removeAll();
  void announce(const std::optional<std::string>& key);

  const std::string name_;
  const bool persistent_;

  // Serialises writes of this domain's file; reads never take it. Taken before stateMutex_.
  std::mutex writeMutex_;
  std::mutex stateMutex_;
  bool loaded_ = false;
  std::optional<PreferencesFile> file_;  // nullopt: memory-only
  Dictionary values_;
  // Changes made and changes known to be on disk; equal when nothing is pending.
  std::uint64_t changeCount_ = 0;
  std::uint64_t savedChangeCount_ = 0;
  // The keys changed and not yet on disk, each with the change count of its last change.
  std::map<std::string, std::uint64_t, std::less<>> pendingKeys_;
  // The domain was emptied but its file could not be deleted: the next write replaces what the file
  // holds instead of writing over it.
  bool pendingRemoval_ = false;
  // Whether the last write failed (and was logged); guarded by writeMutex_.
  bool writesFailing_ = false;
};

}  // namespace platform
