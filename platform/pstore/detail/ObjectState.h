#pragma once
// What a context knows about one object: its identity, the row it last read, and the changes not
// yet saved. Internal to the persistent-store layer; guarded by the owning context's lock.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/identity/UUID.h"
#include "platform/pstore/detail/AttributeCoding.h"
#include "platform/pstore/detail/ColumnChanges.h"
#include "platform/pstore/detail/StoreDatabase.h"

namespace platform::detail {

struct ObjectState {
  std::size_t entity = 0;   // index into the store layout
  std::int64_t number = 0;  // temporary (negative) until saved, then the row number
  UUID recordName;
  // The stored row as last read; none for an inserted object, or when it must be read again.
  std::optional<StoredRow> snapshot;
  ColumnChanges changes;
  bool inserted = false;
  bool deleted = false;  // deleted in this context (pending, or saved)
  bool gone = false;     // the row is no longer in the store

  bool hasPendingWork() const { return inserted || deleted || !changes.empty(); }
};

}  // namespace platform::detail
