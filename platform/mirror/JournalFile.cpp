#include "platform/mirror/JournalFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/mirror/CloudMirrorError.h"

namespace platform {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // A failed close can be a failed delayed write, so appends look at it.
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

Error journalError(const std::filesystem::path& file, const std::string& step, int errnoValue) {
  return cloudMirrorError(CloudMirrorErrorCode::NetworkFailure,
                          "Cannot " + step + " the journal " + file.string(), errnoValue);
}

int openRetrying(const std::filesystem::path& file, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(file.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
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
  Descriptor fd(openRetrying(file, O_RDWR | O_APPEND | O_CREAT, 0600));
  if (!fd.valid()) return journalError(file, "open", errno);
  Result<bool> clean = endsWithLineBreak(fd.get(), file);
  if (!clean) return clean.error();
  std::string data = *clean ? std::string() : std::string("\n");
  for (const std::string& line : lines) {
    data += line;
    data += '\n';
  }
  if (!writeAll(fd.get(), data)) return journalError(file, "append to", errno);
  if (::fsync(fd.get()) != 0) return journalError(file, "flush", errno);
  if (fd.close() != 0) return journalError(file, "close", errno);
  return {};
}

Result<JournalRead> readJournalLines(const std::filesystem::path& file, std::uint64_t offset) {
  JournalRead read;
  read.nextOffset = offset;
  Descriptor fd(openRetrying(file, O_RDONLY));
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
