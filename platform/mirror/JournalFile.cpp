#include "platform/mirror/JournalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/paths/FileDescriptor.h"

namespace platform {
namespace {

Error journalError(const std::filesystem::path& file, const std::string& step, int errnoValue) {
  return cloudMirrorError(CloudMirrorErrorCode::NetworkFailure,
                          "Cannot " + step + " the journal " + file.string(), errnoValue);
}

// True when the file is empty or its last byte ends a line.
Result<bool> endsWithLineBreak(int fd, const std::filesystem::path& file) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return journalError(file, "inspect", errno);
  if (status.st_size == 0) return true;
  char last = 0;
  ssize_t n;
  do {
    n = ::pread(fd, &last, 1, status.st_size - 1);
  } while (n < 0 && errno == EINTR);
  if (n != 1) return journalError(file, "read the end of", n < 0 ? errno : 0);
  return last == '\n';
}

}  // namespace

Result<void> appendJournalLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
  if (lines.empty()) return {};
  FileDescriptor fd(openRetrying(file, O_RDWR | O_APPEND | O_CREAT, 0600));
  if (!fd.valid()) return journalError(file, "open", errno);
  Result<bool> clean = endsWithLineBreak(fd.get(), file);
  if (!clean) return clean.error();
  std::string data = *clean ? std::string() : std::string("\n");
  for (const std::string& line : lines) {
    data += line;
    data += '\n';
  }
  if (!writeAll(fd.get(), data.data(), data.size())) return journalError(file, "append to", errno);
  if (::fsync(fd.get()) != 0) return journalError(file, "flush", errno);
  if (fd.close() != 0) return journalError(file, "close", errno);
  return {};
}

Result<JournalRead> readJournalLines(const std::filesystem::path& file, std::uint64_t offset) {
  JournalRead read;
  read.nextOffset = offset;
  FileDescriptor fd(openRetrying(file, O_RDONLY));
  if (!fd.valid()) {
    if (errno == ENOENT) return read;
    return journalError(file, "open", errno);
  }
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) return journalError(file, "inspect", errno);
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size < offset) {
    read.restarted = true;
    offset = 0;
    read.nextOffset = 0;
  }
  std::string data(size - offset, '\0');
  std::size_t filled = 0;
  while (filled < data.size()) {
    const ssize_t n =
        ::pread(fd.get(), data.data() + filled, data.size() - filled, static_cast<off_t>(offset + filled));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return journalError(file, "read", errno);
    if (n == 0) break;  // shortened while being read: what is there is all there is
    filled += static_cast<std::size_t>(n);
  }
  data.resize(filled);
  std::size_t start = 0;
  for (std::size_t end = data.find('\n'); end != std::string::npos; end = data.find('\n', start)) {
    read.lines.emplace_back(data, start, end - start);
    start = end + 1;
  }
  read.nextOffset = offset + start;
  return read;
}

}  // namespace platform
