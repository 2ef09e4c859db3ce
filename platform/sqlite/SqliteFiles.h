#pragma once
// The files that belong to a SQLite database file, named by a suffix to its path: the write-ahead
// log, the log's shared-memory index (rebuilt from the log) and the rollback journal.

#include <string_view>

namespace platform {

inline constexpr std::string_view kSqliteLogSuffix = "-wal";
inline constexpr std::string_view kSqliteLogIndexSuffix = "-shm";
inline constexpr std::string_view kSqliteJournalSuffix = "-journal";

}  // namespace platform
