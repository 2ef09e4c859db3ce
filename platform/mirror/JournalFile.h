#pragma once
// The journal files in the mirror folder: each machine appends only to its own and reads the others.
//
// No two writers ever share a file, so appending needs no lock between machines or processes. A
// line is complete once its line break is written; a reader takes complete lines only and leaves a
// trailing partial line (a write still under way, or one a sync tool has only half carried over)
// for its next read: it is still arriving, not an error. A writer that died in the middle of a line
// left such a tail in its own journal; its next append cuts the tail off before writing, so the
// torn line never becomes a complete, unreadable one (what it held is written again by the export
// that follows, since that export never committed).
//
// A place in a journal is a JournalPosition: the offset just after a line, that line's length and
// digest, and a digest of the file's head. Whoever holds a position can check that the file still
// holds the same line there, after the same head; a journal emptied, rolled back to an older copy,
// started again or replaced by a sync tool fails the check, and its reader starts again from the
// beginning (applying an entry twice changes nothing), while its writer knows it must write its
// state again. The head catches a journal started again that happens to hold the very line at the
// very offset: a state written again in the same order after other lines of the same lengths.
//
// Reading is bounded: one read returns at most kJournalChunkLines lines and about kJournalChunkBytes
// bytes, so a journal of any length is worked through in chunks of bounded memory. A single line
// longer than kJournalLineLimit (16 MiB; a line holds one record, and an export writes none longer)
// is skipped once, reported once, and never read again, even before its line break has arrived.
//
// A journal is a file of its own: a pipe, device or link in its place is refused. Failures are
// NetworkFailure errors of the cloud mirror naming the file. Functions are safe from
// any thread; callers serialise appends to one file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"

namespace platform {

// A chunk is also what an import saves at a time: each save pays for a savepoint that keeps a copy
// of every page it changes, and the record-name indexes spread a chunk's records over most of theirs.
inline constexpr std::size_t kJournalChunkLines = 4000;
inline constexpr std::size_t kJournalChunkBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kJournalLineLimit = 16 * 1024 * 1024;
// How much of a journal's start a position's head digest covers.
inline constexpr std::size_t kJournalHeadBytes = 4096;

struct JournalPosition {
  // Just after a line break (0: the start of the file).
  std::uint64_t offset = 0;
  // The line that ends there, without its line break: its length and digest. A line that was
  // skipped for its length has neither; only its line break is checked.
  std::uint64_t lineLength = 0;
  std::uint64_t lineDigest = 0;
  // Inside a line longer than the limit whose line break has not arrived yet: the reader goes on
  // discarding until it does.
  bool insideLongLine = false;
  // The digest of the file's bytes before the offset, at most the first kJournalHeadBytes of them;
  // 0 where unknown (a position kept by an older version), when the head is not checked.
  std::uint64_t headDigest = 0;

  // "<offset> <length> <digest>" (with " long" inside a long line, then " h<head digest>" where
  // known); a bare offset, as older stores kept it, parses as a position whose line break alone is
  // checked.
  std::string serialized() const;
  static std::optional<JournalPosition> parse(std::string_view text);

  friend bool operator==(const JournalPosition&, const JournalPosition&) = default;
};

// The digest positions use for a line.
std::uint64_t journalLineDigest(std::string_view line);

// Whether `file` still holds, at the position, the line the position names. The start of a file is
// held by any file, a missing one included.
Result<bool> journalHolds(const std::filesystem::path& file, const JournalPosition& position);

// Appends the lines (each without its line break) in one write and flushes them to disk, having cut
// off a torn last line first. The file is created, readable by its owner only, when missing.
// Answers the position after the last line (the file's old end when there are no lines).
Result<JournalPosition> appendJournalLines(const std::filesystem::path& file,
                                           const std::vector<std::string>& lines);

struct JournalRead {
  // The complete lines after the position, without their line breaks.
  std::vector<std::string> lines;
  // Where the next read starts.
  JournalPosition next;
  // The file no longer held the line at the position (it was emptied, rolled back or replaced),
  // so it was read from its start.
  bool restarted = false;
  // A line longer than the limit was skipped (reported once, when its skipping began).
  bool skippedLongLine = false;
};

// The next chunk of complete lines of `file` after `from`; a read that finds no line has reached the
// file's end. A missing file reads as empty.
Result<JournalRead> readJournalLines(const std::filesystem::path& file, const JournalPosition& from);

}  // namespace platform
