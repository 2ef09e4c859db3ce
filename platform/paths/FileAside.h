#pragma once
// Keeping a damaged file beside itself instead of deleting it, for a look into it later. Every damaged
// file of the platform is named here, the same way: "<file>.<label>-<unix seconds>", with "-1", "-2",
// ... appended when that name is taken, and the files that belong to it ("<file><suffix>", such as a
// database's log) as "<copy><suffix>".
//
// Safe from any thread and process: a name is claimed by a rename that never replaces anything, so
// two callers in the same second never take the same name.

#include <filesystem>
#include <span>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/time/Clock.h"
#include "platform/time/SystemClock.h"

namespace platform {

// How many copies of one file, set aside under one label, stay beside it.
enum class KeptCopies {
  All,
  // The one just set aside: earlier copies of the same file and label, with their companions, are
  // removed once it is in place (as far as they can be: a copy that stays only costs its space).
  NewestOnly,
};

// Moves `file` aside under the name above and answers where it went. `companions` are the suffixes of
// the files that belong to it; those present go along. A name is taken only when none of its pieces
// is taken, so an earlier copy is never replaced. The pieces are renamed, never copied or changed:
// the companions first, so that nothing takes one left behind for its own while the file still
// stands, then the file. All or none move: when a piece cannot be moved, those moved go back and
// WriteFailed is answered; nothing is removed.
Result<std::filesystem::path> moveFileAside(const std::filesystem::path& file, std::string_view label,
                                            KeptCopies kept = KeptCopies::All,
                                            std::span<const std::string_view> companions = {},
                                            const Clock& clock = SystemClock::shared());

}  // namespace platform
