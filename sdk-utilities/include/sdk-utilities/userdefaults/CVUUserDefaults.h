#pragma once
// A small key-value store over a preferences domain: the application's own domain or a named suite.
// Every change is written to disk at once; a failed write is logged ("I-CVU000004") and not
// reported to the caller, who carries on with the value held in memory.
//
// Values are property-list values: string, number, array, dictionary, date or bytes, with no null
// anywhere inside. Keys are non-empty. Misuse (an empty key, a value that is not a property-list
// value) is logged as a warning through the utilities logger and changes nothing.
//
// Threads: every operation is a call into the domain, which is safe from any thread, and every
// holder of a store of the same domain sees the same values. The store keeps the domain object it
// looked up (under a lock of its own) only while the process-wide table of domains and, for the
// application's domain, the main bundle are the ones it was looked up in: so a store still follows
// the table, as if it looked the domain up at each call.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/prefs/PreferencesDomain.h"
#include "platform/value/Value.h"

namespace beacon {

class CVUUserDefaults {
 public:
  // The shared store of the application's domain, made on first use.
  static std::shared_ptr<CVUUserDefaults> standardUserDefaults();

  // The application's domain.
  CVUUserDefaults() = default;
  // The suite `suiteName`; a missing or empty name means the application's domain. A name must be
  // usable as a file name (PreferencesDomain::named): anything else is a ProgrammerError.
  explicit CVUUserDefaults(std::optional<std::string> suiteName);

  CVUUserDefaults(const CVUUserDefaults&) = delete;
  CVUUserDefaults& operator=(const CVUUserDefaults&) = delete;

  // The stored value; nullopt when absent or the key is empty ("I-CVU000001").
  std::optional<platform::Value> objectForKey(std::string_view key) const;

  // Stores `value` under `key`; nullopt removes the key. Refused, with a warning and no change: an
  // empty key ("I-CVU000002") and a value that is not a property-list value ("I-CVU000003").
  void setObject(std::optional<platform::Value> value, std::string_view key);
  // Removing a missing key does nothing and logs nothing.
  void removeObjectForKey(std::string_view key);

  // The stored value read as a number (strings are parsed leniently, see platform::Value); 0 or
  // false when absent or of a kind that holds no number.
  std::int64_t integerForKey(std::string_view key) const;
  float floatForKey(std::string_view key) const;
  double doubleForKey(std::string_view key) const;
  bool boolForKey(std::string_view key) const;

  // The stored value as it is, whatever its kind, just like objectForKey: a number stored under a
  // key read as a string comes back as that number. Callers check the kind they need.
  std::optional<platform::Value> stringForKey(std::string_view key) const;
  std::optional<platform::Value> arrayForKey(std::string_view key) const;
  std::optional<platform::Value> dictionaryForKey(std::string_view key) const;

  void setInteger(std::int64_t value, std::string_view key);
  void setFloat(float value, std::string_view key);
  void setDouble(double value, std::string_view key);
  void setBool(bool value, std::string_view key);

  // Writes what is not yet on disk; a failure is logged ("I-CVU000004").
  void synchronize();

  // A flag callers may keep with the store; nothing here reads it.
  bool isPreferenceFileExcluded() const { return isPreferenceFileExcluded_.load(); }
  void setIsPreferenceFileExcluded(bool excluded) { isPreferenceFileExcluded_.store(excluded); }

 private:
  std::shared_ptr<platform::PreferencesDomain> domain() const;

  // nullopt: the application's domain.
  const std::optional<std::string> suiteName_;

  // The domain last looked up and the generations it was looked up in (the main bundle's only for
  // the application's domain, whose name is the main bundle's identifier). Looking a domain up costs
  // a bundle read and a table lookup, and the engine reads several values for every event.
  struct LookedUpDomain {
    std::shared_ptr<platform::PreferencesDomain> domain;
    std::uint64_t tableGeneration = 0;
    std::uint64_t mainBundleGeneration = 0;
  };
  mutable std::mutex lookedUpMutex_;
  mutable LookedUpDomain lookedUp_;
  std::atomic<bool> isPreferenceFileExcluded_{false};
};

}  // namespace beacon
