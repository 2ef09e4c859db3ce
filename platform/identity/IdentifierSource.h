#pragma once
// Where new identifiers (UUID::random) draw their bytes from: the system's cryptographic source,
// unless a test has put a source of its own in place for a while (testing/SeededIdentifiers.h), so
// that a seeded run makes the same identifiers again.

#include "platform/identity/RandomSource.h"

namespace platform {

// The source in place now; thread-safe.
RandomSource& identifierSource();

// Puts `source` in place of the current one (null: the system source again) and answers the one it
// replaces, null for the system source. For tests only, through SeededIdentifiers: the source must
// outlive every draw made while it is in place, and be safe to draw from on any thread.
RandomSource* replaceIdentifierSource(RandomSource* source);

}  // namespace platform
