#pragma once
// CVUMutableDictionary: a key-value map that may be used from any thread.
//
// Every operation is ordered as issued: a write issued before a read on the same thread is seen by
// that read, and every read sees either all of a write or none of it. Reads answer copies, so
// nothing handed out changes under the caller. No user code runs while the map is locked, so
// operations may be issued from anywhere, callbacks included.

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

namespace beacon {

template <class Key, class Value>
class CVUMutableDictionary {
 public:
  std::optional<Value> objectForKey(const Key& key) const {
    std::lock_guard lock(mutex_);
    auto found = objects_.find(key);
    return found == objects_.end() ? std::nullopt : std::optional<Value>(found->second);
  }
  std::optional<Value> operator[](const Key& key) const { return objectForKey(key); }

  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return objects_.size();
  }
  // A snapshot: later writes do not change it.
  std::map<Key, Value> dictionary() const {
    std::lock_guard lock(mutex_);
    return objects_;
  }

  void setObject(Value value, const Key& key) {
    std::lock_guard lock(mutex_);
    objects_.insert_or_assign(key, std::move(value));
  }
  // No value removes the key.
  void setObjectForKeyedSubscript(std::optional<Value> value, const Key& key) {
    if (value) {
      setObject(std::move(*value), key);
    } else {
      removeObjectForKey(key);
    }
  }
  void removeObjectForKey(const Key& key) {
    std::lock_guard lock(mutex_);
    objects_.erase(key);
  }
  void removeAllObjects() {
    std::lock_guard lock(mutex_);
    objects_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::map<Key, Value> objects_;
};

}  // namespace beacon
