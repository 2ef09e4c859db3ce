#pragma once
// The engine's preference store: the application's own preferences (sharedUserDefaults) or one named
// suite. It is the SDK utilities' store under the engine's name, so the engine and the SDK core read
// and write the same process-wide domains: a write is seen at once by every later read in the process
// and written through to disk. Safe from any thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"
#include "sdk-utilities/userdefaults/CVUUserDefaults.h"

namespace beacon {

class BMSUserDefaults {
 public:
  static std::shared_ptr<BMSUserDefaults> sharedUserDefaults();
  // A store over the suite `suiteName` (a name usable as a file name).
  explicit BMSUserDefaults(std::string suiteName);

  std::optional<platform::Value> objectForKey(std::string_view key) const {
    return store_->objectForKey(key);
  }
  // Only an array; empty for anything else.
  std::optional<platform::Array> arrayForKey(std::string_view key) const;
  // 0 / false when absent.
  std::int64_t integerForKey(std::string_view key) const { return store_->integerForKey(key); }
  bool boolForKey(std::string_view key) const { return store_->boolForKey(key); }

  void setObject(std::optional<platform::Value> value, std::string_view key) {
    store_->setObject(std::move(value), key);
  }
  void setInteger(std::int64_t value, std::string_view key) { store_->setInteger(value, key); }
  void setBool(bool value, std::string_view key) { store_->setBool(value, key); }
  void removeObjectForKey(std::string_view key) { store_->removeObjectForKey(key); }

  // Writes what is not yet on disk.
  void synchronize() { store_->synchronize(); }

 private:
  explicit BMSUserDefaults(std::shared_ptr<CVUUserDefaults> store) : store_(std::move(store)) {}

  std::shared_ptr<CVUUserDefaults> store_;
};

}  // namespace beacon
