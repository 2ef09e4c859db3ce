#pragma once
// Where a version added on this machine stands among its prompt's versions.
//
// A version's creation stamp is its place in the order every machine gives a prompt's versions, and
// the wall clock alone cannot be trusted with it: set back between two saves, it would put the later
// save first. So a version added here is stamped at least one tick after the newest version it
// follows, whatever the clock says. Versions made on different machines may still share a stamp;
// the order then goes by their ids, never by their numbers, which each machine rewrites. Pure
// functions, safe on any thread.

#include <optional>

#include "Velloran/data/PromptValues.h"

namespace velloran {

// The least step between the stamps of two versions that follow one another: a millisecond, the
// finest the mirror's clock tells apart.
inline constexpr double kVersionStampTick = 0.001;  // seconds

// `stamp`, or the first stamp one tick after `newest` when `stamp` does not come after it.
platform::Date stampAfter(std::optional<platform::Date> newest, platform::Date stamp);

// The stamp for a version added to `prompt` now: `now`, or one tick after the newest stamp among
// the prompt's versions when the clock stands at or before it.
platform::Date newVersionStamp(const Prompt& prompt, platform::Date now);

}  // namespace velloran
