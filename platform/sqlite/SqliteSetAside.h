#pragma once
// A damaged database file set aside whole, for a look into it later, instead of deleted. The copy is
// named as every damaged file of the platform is (moveFileAside): "<file>.damaged-<unix seconds>",
// "-1", "-2", ... appended when that name is taken. The log and the rollback journal go with it as
// "<copy>-wal" and "<copy>-journal", so the copy opens as the file stood. The log's index is removed,
// never kept: it is rebuilt from the log, and one left behind would stand beside the new file that
// takes the name.
//
// All or nothing: when a piece cannot be moved, those moved go back and the failure is answered.
// Nothing but the log's index and the earlier copies a caller does not keep is ever removed.
//
// Call with no connection of this process open on the file.

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/paths/FileAside.h"
#include "platform/paths/FileIO.h"
#include "platform/time/Clock.h"
#include "platform/time/SystemClock.h"

namespace platform {

inline constexpr std::string_view kDamagedCopyLabel = "damaged";

// Sets the database file at `file` aside as above; answers where it went.
Result<std::filesystem::path> setAsideDamagedSqliteFile(const std::filesystem::path& file, KeptCopies kept,
                                                        const Clock& clock = SystemClock::shared());

// The same for a file that other processes open too and may find damaged at the same time: only while
// the file at `file` is still `judged`, the one found damaged. That is checked, and the file moved,
// under a lock on the folder that every call of this kind takes, so of the processes that found one
// file damaged one moves it, and a file another has made in its place since (new, half written, or
// held by its maker) is never moved. A folder that gives no lock (see platform/paths/FolderLock.h)
// still has the file set aside: it is checked just before it moves, and only a file put in its place
// in between could go along. Answers none when the file is no longer the one judged; fails only when
// the file cannot be moved.
Result<std::optional<std::filesystem::path>> setAsideDamagedSqliteFile(
    const std::filesystem::path& file, const FileIdentity& judged, KeptCopies kept,
    const Clock& clock = SystemClock::shared());

}  // namespace platform
