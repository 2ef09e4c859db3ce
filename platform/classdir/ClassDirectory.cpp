#include "platform/classdir/ClassDirectory.h"

namespace platform {

ClassDirectory& ClassDirectory::shared() {
  // Never destroyed: components may look classes up while other static objects are torn down.
  static auto* directory = new ClassDirectory;
  return *directory;
}

const ClassEntry& ClassDirectory::insert(std::unique_ptr<ClassEntry> entry) {
  std::lock_guard lock(mutex_);
  auto [position, inserted] = entries_.try_emplace(entry->name(), std::move(entry));
  return *position->second;
}

const ClassEntry* ClassDirectory::lookup(std::string_view name) const {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(name);
  return found == entries_.end() ? nullptr : found->second.get();
}

void ClassDirectory::resetForTesting() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace platform
