#pragma once
// The journal files in the mirror folder: each machine appends only to its own and reads the others.
//
// No two writers ever share a file, so appending needs no lock between machines or processes. A
// line is complete once its line break is written; a reader takes complete lines only and leaves a
// trailing partial line (a write still under way, or one a sync tool has only half carried over)
// for its next read. A writer that died in the middle of a line leaves such a tail behind for good:
// the next append ends it with a line break first, so the broken line stays one unreadable line
// and never swallows the next entry.
//
// Failures are NetworkFailure errors of the cloud mirror naming the file. Functions are safe from
// any thread; callers serialise appends to one file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error/Result.h"

namespace platform {

// Appends the lines (each without its line break) in one write and flushes them to disk. The file
// is created, readable by its owner only, when missing.
Result<void> appendJournalLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

struct JournalRead {
  // The complete lines after the offset, without their line breaks.
  std::vector<std::string> lines;
  // Where the next read starts: just after the last complete line.
  std::uint64_t nextOffset = 0;
  // The file was shorter than the offset (it was replaced), so it was read from its start.
  bool restarted = false;
};

// The complete lines of `file` from byte `offset` on. A missing file reads as empty.
Result<JournalRead> readJournalLines(const std::filesystem::path& file, std::uint64_t offset);

}  // namespace platform
