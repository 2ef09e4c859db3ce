#pragma once
// The failures of the persistent-store layer.
//
// Two domains: kPersistentStoreErrorDomain for the layer's own failures, with the numeric codes that
// callers tell apart (a store made by an incompatible model, a failed migration, a missing source
// model, an expired history token, validation), and kSQLiteErrorDomain for failures the database
// engine reported, whose code is the engine's primary result code (26: the file is not a database,
// 11: the database is corrupt, 14: the file cannot be opened).

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error/Error.h"
#include "platform/sqlite/SqliteConnection.h"

namespace platform {

inline constexpr std::string_view kPersistentStoreErrorDomain = "PersistentStoreErrorDomain";

enum class PersistentStoreErrorCode : std::int64_t {
  WriteNoPermission = 513,  // a store file could not be removed for lack of permission
  ValidationFailed = 1550,  // a stored value is not of its attribute's type
  ValidationMissingMandatoryProperty = 1570,
  ValidationRelationshipLacksMinimumCount = 1580,
  ValidationRelationshipExceedsMaximumCount = 1590,
  ValidationNumberTooLarge = 1610,
  ValidationNumberTooSmall = 1620,
  MergeConflict = 133020,         // another context changed or deleted what this one saves
  StoreOperationFailed = 134070,  // no store is loaded, or it has been destroyed
  StoreOpenFailed = 134080,       // the store cannot be opened as described (e.g. one is loaded already)
  IncompatibleModel = 134100,     // the store was made by another model; migration was not asked for
  MigrationFailed = 134110,       // the store was made by another model and cannot be migrated
  MissingSourceModel = 134130,    // the store does not say which model made it
  HistoryTokenExpired = 134501,   // the token belongs to another store (or one that was replaced)
};

// userInfo keys of validation and conflict errors.
inline constexpr std::string_view kErrorEntityKey = "entity";
inline constexpr std::string_view kErrorKeyKey = "key";

Error persistentStoreError(PersistentStoreErrorCode code, std::string description, Dictionary userInfo = {});

inline bool isPersistentStoreError(const Error& error, PersistentStoreErrorCode code) {
  return error.is(kPersistentStoreErrorDomain, static_cast<std::int64_t>(code));
}

}  // namespace platform
