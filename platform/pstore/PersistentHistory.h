#pragma once
// Persistent history: what each committed transaction changed, kept in the store itself.
//
// A store loaded with kPersistentHistoryTrackingOption records one transaction per commit that
// inserted, updated or deleted model objects (a save that changed nothing, or only store metadata,
// records none). A transaction carries the author its context named, the time of the commit and
// one change per object, in the order inserts, updates, deletes.
//
// A HistoryToken marks a position in one store's history: the store's identifier and the number of
// a transaction. Transaction numbers start again in a new store (for instance after a store was
// destroyed and created afresh), so a token is only ever compared with history of the store it came
// from; a fetch after a token of another store fails with HistoryTokenExpired rather than answer
// with a silently shortened history.
//
// All types here are plain values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/identity/UUID.h"
#include "platform/pstore/ObjectID.h"
#include "platform/value/Value.h"

namespace platform {

struct HistoryToken {
  UUID storeIdentifier;
  std::int64_t transactionNumber = 0;

  // "HT1:<store identifier>:<transaction number>"; parse() accepts exactly that form (a positive
  // decimal number without leading zeros) and nothing else.
  std::string serialized() const;
  static std::optional<HistoryToken> parse(std::string_view text);

  friend bool operator==(const HistoryToken&, const HistoryToken&) = default;
};

enum class HistoryChangeType { Insert, Update, Delete };

struct HistoryChange {
  HistoryChangeType type = HistoryChangeType::Insert;
  ObjectID objectID;
  // The object's record name, kept with the change so a deleted object can still be named.
  UUID recordName;
};

// The object IDs a transaction touched, sorted by kind: what a context merges.
struct ObjectIDChanges {
  std::vector<ObjectID> inserted;
  std::vector<ObjectID> updated;
  std::vector<ObjectID> deleted;

  bool empty() const { return inserted.empty() && updated.empty() && deleted.empty(); }
};

struct HistoryTransaction {
  HistoryToken token;
  std::optional<std::string> author;
  Date timestamp;
  std::vector<HistoryChange> changes;

  ObjectIDChanges objectIDChanges() const;
};

}  // namespace platform
