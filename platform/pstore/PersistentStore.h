#pragma once
// One loaded store: a SQLite database file or an in-memory database, opened by a coordinator and
// owned by it until the coordinator goes away or destroys the store.
//
// The store's identifier is drawn when the store is created and kept in the store; a store that is
// destroyed and created again has a new one. History tokens carry it (PersistentHistory.h), and so
// can anything else that must tell "the same store" from "a new store at the same place".
//
// Thread-safe. Contexts read and write through it; callers only look at it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/identity/UUID.h"
#include "platform/pstore/StoreDescription.h"

namespace platform {

namespace detail {
class StoreDatabase;
}  // namespace detail

class PersistentStore {
 public:
  PersistentStore(StoreDescription description, std::unique_ptr<detail::StoreDatabase> database);
  ~PersistentStore();
  PersistentStore(const PersistentStore&) = delete;
  PersistentStore& operator=(const PersistentStore&) = delete;

  const UUID& identifier() const;
  const StoreDescription& description() const { return description_; }
  StoreType type() const { return description_.type; }
  // The database file; nullopt for an in-memory store.
  std::optional<std::filesystem::path> path() const;
  bool tracksHistory() const;
  // A count that grows with every commit that changes objects in this store, this process's own
  // and those another process makes to the same file. It moves only once a commit is complete: a
  // reader that notes the count, then reads, can tell by a later equal count (and an equal
  // identifier) that what it read is still what the store holds.
  std::uint64_t changeCount() const;

  // The layer's own access to the rows; not for callers.
  detail::StoreDatabase& database() const { return *database_; }

 private:
  StoreDescription description_;
  std::unique_ptr<detail::StoreDatabase> database_;
};

}  // namespace platform
