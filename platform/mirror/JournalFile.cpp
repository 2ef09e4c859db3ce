#include "platform/mirror/JournalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/DecimalText.h"
#include "platform/paths/FileDescriptor.h"

namespace platform {
namespace {

// How far a search for a line break reads at a time.
constexpr std::size_t kScanBlock = 64 * 1024;

Error journalError(const std::filesystem::path& file, const std::string& step, int errnoValue) {
  return cloudMirrorError(CloudMirrorErrorCode::NetworkFailure,
                          "Cannot " + step + " the journal " + file.string(), errnoValue);
}

// A journal open, refused for anything but a file of its own: a pipe or device under a journal's
// name in a shared folder would hold an open or a read for good, and a link would have a writer
// append to (and cut the last line off) whatever file it points at.
int openJournal(const std::filesystem::path& file, int flags, mode_t mode = 0) {
  return openFileOnly(file, flags | O_NOFOLLOW, mode);
}

Result<std::uint64_t> fileSize(int fd, const std::filesystem::path& file) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return journalError(file, "inspect", errno);
  return static_cast<std::uint64_t>(status.st_size);
}

// Appends up to `count` bytes from `offset` to `data`, fewer only at the end of the file. A chunk
// of a journal is read straight into the text its lines are taken from, not copied there.
Result<void> readAppending(int fd, std::uint64_t offset, std::size_t count, std::string& data,
                           const std::filesystem::path& file) {
  const std::size_t start = data.size();
  data.resize(start + count);
  std::size_t filled = 0;
  while (filled < count) {
    const ssize_t n =
        ::pread(fd, data.data() + start + filled, count - filled, static_cast<off_t>(offset + filled));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      data.resize(start);
      return journalError(file, "read", errno);
    }
    if (n == 0) break;  // shortened while being read: what is there is all there is
    filled += static_cast<std::size_t>(n);
  }
  data.resize(start + filled);
  return {};
}

// Up to `count` bytes from `offset`, fewer only at the end of the file.
Result<std::string> readAt(int fd, std::uint64_t offset, std::size_t count,
                           const std::filesystem::path& file) {
  std::string data;
  if (Result<void> read = readAppending(fd, offset, count, data, file); !read) return read.error();
  return data;
}

// The offset of the first line break at or after `from`, if any before `size`.
Result<std::optional<std::uint64_t>> findLineBreak(int fd, std::uint64_t from, std::uint64_t size,
                                                   const std::filesystem::path& file) {
  for (std::uint64_t at = from; at < size; at += kScanBlock) {
    Result<std::string> block =
        readAt(fd, at, static_cast<std::size_t>(std::min<std::uint64_t>(kScanBlock, size - at)), file);
    if (!block) return block.error();
    if (std::size_t found = block->find('\n'); found != std::string::npos) return std::optional(at + found);
    if (block->empty()) break;
  }
  return std::optional<std::uint64_t>();
}

// The offset of the last line break in [lowest, before), if any.
Result<std::optional<std::uint64_t>> findLastLineBreak(int fd, std::uint64_t lowest, std::uint64_t before,
                                                       const std::filesystem::path& file) {
  for (std::uint64_t blockEnd = before; blockEnd > lowest;) {
    const std::uint64_t blockStart = blockEnd - std::min<std::uint64_t>(kScanBlock, blockEnd - lowest);
    Result<std::string> block = readAt(fd, blockStart, static_cast<std::size_t>(blockEnd - blockStart), file);
    if (!block) return block.error();
    if (std::size_t found = block->rfind('\n'); found != std::string::npos)
      return std::optional(blockStart + found);
    blockEnd = blockStart;
  }
  return std::optional<std::uint64_t>();
}

// The position after the last complete line that ends at or before `end`.
Result<JournalPosition> lastLineBefore(int fd, std::uint64_t end, const std::filesystem::path& file) {
  Result<std::optional<std::uint64_t>> lineBreak = findLastLineBreak(fd, 0, end, file);
  if (!lineBreak) return lineBreak.error();
  if (!*lineBreak) return JournalPosition{};
  const std::uint64_t lineEnd = **lineBreak;
  const std::uint64_t lowest = lineEnd > kJournalLineLimit + 1 ? lineEnd - kJournalLineLimit - 1 : 0;
  Result<std::optional<std::uint64_t>> previous = findLastLineBreak(fd, lowest, lineEnd, file);
  if (!previous) return previous.error();
  const std::uint64_t lineStart = *previous ? **previous + 1 : 0;
  if (!*previous && lowest > 0) return JournalPosition{lineEnd + 1, 0, 0, false};  // a line too long to name
  Result<std::string> line = readAt(fd, lineStart, static_cast<std::size_t>(lineEnd - lineStart), file);
  if (!line) return line.error();
  return JournalPosition{lineEnd + 1, line->size(), journalLineDigest(*line), false};
}

// The digest of the file's bytes before `offset`, at most kJournalHeadBytes of them.
Result<std::uint64_t> headDigestBefore(int fd, std::uint64_t offset, const std::filesystem::path& file) {
  Result<std::string> head =
      readAt(fd, 0, static_cast<std::size_t>(std::min<std::uint64_t>(offset, kJournalHeadBytes)), file);
  if (!head) return head.error();
  return journalLineDigest(*head);
}

// The position with the digest of the head before it.
Result<JournalPosition> withHead(int fd, JournalPosition position, const std::filesystem::path& file) {
  Result<std::uint64_t> head = headDigestBefore(fd, position.offset, file);
  if (!head) return head.error();
  position.headDigest = position.offset == 0 ? 0 : *head;
  return position;
}

Result<bool> holds(int fd, const JournalPosition& position, const std::filesystem::path& file) {
  if (position.offset == 0) return true;
  Result<std::uint64_t> size = fileSize(fd, file);
  if (!size) return size.error();
  if (*size < position.offset) return false;
  if (position.headDigest != 0) {
    Result<std::uint64_t> head = headDigestBefore(fd, position.offset, file);
    if (!head) return head.error();
    if (*head != position.headDigest) return false;
  }
  if (position.insideLongLine) return true;
  if (position.lineLength == 0 && position.lineDigest == 0) {
    // A skipped line (or a bare offset): its line break alone, since where the line began is unknown.
    Result<std::string> lineBreak = readAt(fd, position.offset - 1, 1, file);
    if (!lineBreak) return lineBreak.error();
    return *lineBreak == "\n";
  }
  // The line with its line break, and the line break (or file start) before it.
  if (position.lineLength + 1 > position.offset) return false;
  const std::uint64_t lineStart = position.offset - position.lineLength - 1;
  const std::uint64_t from = lineStart == 0 ? 0 : lineStart - 1;
  Result<std::string> bytes = readAt(fd, from, static_cast<std::size_t>(position.offset - from), file);
  if (!bytes) return bytes.error();
  if (bytes->size() != position.offset - from || bytes->back() != '\n') return false;
  if (lineStart > 0 && bytes->front() != '\n') return false;
  const std::string_view line(bytes->data() + (lineStart - from),
                              static_cast<std::size_t>(position.lineLength));
  return journalLineDigest(line) == position.lineDigest;
}

}  // namespace

std::string JournalPosition::serialized() const {
  return std::to_string(offset) + " " + std::to_string(lineLength) + " " + std::to_string(lineDigest) +
         (insideLongLine ? " long" : "") + (headDigest != 0 ? " h" + std::to_string(headDigest) : "");
}

std::optional<JournalPosition> JournalPosition::parse(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  JournalPosition position;
  std::optional<std::uint64_t> offset = mirror_detail::decimalNumber<std::uint64_t>(parts[0]);
  if (!offset) return std::nullopt;
  position.offset = *offset;
  if (parts.size() == 1) return position;
  if (parts.size() < 3) return std::nullopt;
  std::optional<std::uint64_t> length = mirror_detail::decimalNumber<std::uint64_t>(parts[1]);
  std::optional<std::uint64_t> digest = mirror_detail::decimalNumber<std::uint64_t>(parts[2]);
  if (!length || !digest) return std::nullopt;
  position.lineLength = *length;
  position.lineDigest = *digest;
  std::size_t next = 3;
  position.insideLongLine = next < parts.size() && parts[next] == "long";
  if (position.insideLongLine) ++next;
  if (next < parts.size() && parts[next].starts_with('h')) {
    std::optional<std::uint64_t> head = mirror_detail::decimalNumber<std::uint64_t>(parts[next].substr(1));
    if (!head) return std::nullopt;
    position.headDigest = *head;
    ++next;
  }
  if (next != parts.size()) return std::nullopt;
  return position;
}

std::uint64_t journalLineDigest(std::string_view line) {
  // FNV-1a: cheap, stable across machines and builds.
  std::uint64_t digest = 14695981039346656037ull;
  for (unsigned char byte : line) {
    digest ^= byte;
    digest *= 1099511628211ull;
  }
  return digest;
}

Result<bool> journalHolds(const std::filesystem::path& file, const JournalPosition& position) {
  if (position.offset == 0) return true;
  FileDescriptor fd(openJournal(file, O_RDONLY));
  if (!fd.valid()) {
    if (errno == ENOENT) return false;
    return journalError(file, "open", errno);
  }
  return holds(fd.get(), position, file);
}

Result<JournalPosition> appendJournalLines(const std::filesystem::path& file,
                                           const std::vector<std::string>& lines) {
  FileDescriptor fd(openJournal(file, O_RDWR | O_APPEND | O_CREAT, 0600));
  if (!fd.valid()) return journalError(file, "open", errno);
  Result<std::uint64_t> size = fileSize(fd.get(), file);
  if (!size) return size.error();
  Result<JournalPosition> end = lastLineBefore(fd.get(), *size, file);
  if (!end) return end.error();
  if (end->offset != *size) {
    // A torn line of this writer's: nobody has read it (readers take complete lines only).
    if (::ftruncate(fd.get(), static_cast<off_t>(end->offset)) != 0)
      return journalError(file, "repair", errno);
  }
  if (lines.empty()) return withHead(fd.get(), *end, file);
  std::string data;
  for (const std::string& line : lines) {
    data += line;
    data += '\n';
  }
  if (!writeAll(fd.get(), data.data(), data.size())) return journalError(file, "append to", errno);
  if (::fsync(fd.get()) != 0) return journalError(file, "flush", errno);
  Result<JournalPosition> appended = withHead(
      fd.get(),
      JournalPosition{end->offset + data.size(), lines.back().size(), journalLineDigest(lines.back()), false},
      file);
  if (fd.close() != 0) return journalError(file, "close", errno);
  return appended;
}

namespace {

// The next chunk after `from` in the open journal; positions without their head digest.
Result<JournalRead> readLinesAfter(int fd, const std::filesystem::path& file, const JournalPosition& from) {
  JournalRead read;
  read.next = from;
  Result<bool> same = holds(fd, from, file);
  if (!same) return same.error();
  if (!*same) {
    read.restarted = true;
    read.next = JournalPosition{};
  }
  Result<std::uint64_t> size = fileSize(fd, file);
  if (!size) return size.error();

  if (read.next.insideLongLine) {
    Result<std::optional<std::uint64_t>> lineBreak = findLineBreak(fd, read.next.offset, *size, file);
    if (!lineBreak) return lineBreak.error();
    if (!*lineBreak) {
      read.next.offset = *size;
      return read;
    }
    read.next = JournalPosition{**lineBreak + 1, 0, 0, false};
  }

  const std::uint64_t offset = read.next.offset;
  std::string data;
  std::size_t firstBreak = std::string::npos;
  // Chunk by chunk until a line is complete, or there is no more, or it is too long to take.
  while (firstBreak == std::string::npos && offset + data.size() < *size &&
         data.size() <= kJournalLineLimit) {
    const std::size_t before = data.size();
    Result<void> chunk = readAppending(
        fd, offset + before,
        static_cast<std::size_t>(std::min<std::uint64_t>(kJournalChunkBytes, *size - offset - before)), data,
        file);
    if (!chunk) return chunk.error();
    if (data.size() == before) break;
    firstBreak = data.find('\n', before);
  }
  if (firstBreak == std::string::npos && data.size() <= kJournalLineLimit) return read;  // still arriving
  if (firstBreak == std::string::npos || firstBreak > kJournalLineLimit) {
    read.skippedLongLine = true;
    if (firstBreak != std::string::npos) {
      read.next = JournalPosition{offset + firstBreak + 1, 0, 0, false};
      return read;
    }
    Result<std::optional<std::uint64_t>> lineBreak = findLineBreak(fd, offset + data.size(), *size, file);
    if (!lineBreak) return lineBreak.error();
    read.next =
        *lineBreak ? JournalPosition{**lineBreak + 1, 0, 0, false} : JournalPosition{*size, 0, 0, true};
    return read;
  }

  std::size_t start = 0;
  for (std::size_t end = data.find('\n'); end != std::string::npos && read.lines.size() < kJournalChunkLines;
       end = data.find('\n', start)) {
    read.lines.emplace_back(data, start, end - start);
    start = end + 1;
  }
  read.next =
      JournalPosition{offset + start, read.lines.back().size(), journalLineDigest(read.lines.back()), false};
  return read;
}

}  // namespace

Result<JournalRead> readJournalLines(const std::filesystem::path& file, const JournalPosition& from) {
  FileDescriptor fd(openJournal(file, O_RDONLY));
  if (!fd.valid()) {
    if (errno != ENOENT) return journalError(file, "open", errno);
    JournalRead read;
    read.restarted = from.offset != 0;
    return read;
  }
  Result<JournalRead> read = readLinesAfter(fd.get(), file, from);
  if (!read || read->next == from) return read;
  // Past the head on both sides, the head is the one the check of `from` has just read.
  if (!read->restarted && from.headDigest != 0 && from.offset >= kJournalHeadBytes) {
    read->next.headDigest = from.headDigest;
    return read;
  }
  Result<JournalPosition> next = withHead(fd.get(), read->next, file);
  if (!next) return next.error();
  read->next = *next;
  return read;
}

}  // namespace platform
