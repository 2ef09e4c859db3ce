#include "platform/paths/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <string>
#include <vector>

#include "platform/paths/FileDescriptor.h"
#include "platform/paths/PathsError.h"

namespace platform {
namespace {

Error writeError(const std::filesystem::path& file, const std::string& step, int errnoValue) {
  return pathsError(PathsErrorCode::WriteFailed, "Cannot write " + file.string() + " (" + step + ")",
                    errnoValue);
}

// Flushes the folder entry so a completed rename survives a crash.
Result<void> syncFolder(const std::filesystem::path& folder, const std::filesystem::path& file) {
  FileDescriptor fd(openRetrying(folder, O_RDONLY | O_DIRECTORY));
  if (!fd.valid()) return writeError(file, "open folder for sync", errno);
  if (::fsync(fd.get()) != 0) return writeError(file, "sync folder", errno);
  return {};
}

// The machine's memory in bytes: no file larger than it can be held whole.
std::uint64_t physicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

FileIdentity identityOf(const struct stat& info) {
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool entryExists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

Result<void> createDirectories(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    return pathsError(PathsErrorCode::CreateDirectoryFailed, "Cannot create folder " + folder.string(),
                      error.value());
  }
  // create_directories reports success when a file (not a folder) already sits at the path.
  if (!std::filesystem::is_directory(folder, error)) {
    return pathsError(PathsErrorCode::CreateDirectoryFailed,
                      "Cannot create folder " + folder.string() + ": a file of that name exists");
  }
  return {};
}

Result<Bytes> readFile(const std::filesystem::path& file) {
  FileDescriptor fd(openFileOnly(file, O_RDONLY));
  if (!fd.valid()) {
    int openErrno = errno;
    if (openErrno == ENOENT) return pathsError(PathsErrorCode::FileNotFound, "No file at " + file.string());
    if (openErrno == EINVAL)
      return pathsError(PathsErrorCode::NotAFileToRead, "No regular file at " + file.string());
    return pathsError(PathsErrorCode::ReadFailed, "Cannot open " + file.string(), openErrno);
  }
  struct stat info {};
  const bool sized = ::fstat(fd.get(), &info) == 0 && info.st_size > 0;
  if (sized && static_cast<std::uint64_t>(info.st_size) > physicalMemory())
    return pathsError(PathsErrorCode::NotAFileToRead, "Cannot read " + file.string() + " whole", EFBIG);
  Bytes contents;
  if (sized) contents.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return pathsError(PathsErrorCode::ReadFailed, "Cannot read " + file.string(), errno);
    if (n == 0) break;
    contents.insert(contents.end(), chunk, chunk + n);
  }
  return contents;
}

Result<void> writeFileAtomically(const std::filesystem::path& file, std::span<const std::uint8_t> contents) {
  const std::filesystem::path folder = folderOf(file);
  // Hidden and unique, so concurrent writers and directory listings never trip over it.
  std::string temporaryName = (folder / ("." + file.filename().string() + ".tmp-XXXXXX")).string();
  std::vector<char> temporary(temporaryName.begin(), temporaryName.end());
  temporary.push_back('\0');

  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return writeError(file, "create temporary file", errno);

  auto discardTemporary = [&](const std::string& step, int errnoValue) -> Result<void> {
    ::unlink(temporary.data());
    return writeError(file, step, errnoValue);
  };
  if (!writeAll(fd.get(), contents.data(), contents.size())) return discardTemporary("write", errno);
  if (::fsync(fd.get()) != 0) return discardTemporary("sync", errno);
  if (fd.close() != 0) return discardTemporary("close", errno);
  if (::rename(temporary.data(), file.c_str()) != 0) return discardTemporary("rename", errno);
  return syncFolder(folder, file);
}

std::filesystem::path folderOf(const std::filesystem::path& path) {
  return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

std::filesystem::path comparablePath(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ignored);
  return canonical.empty() ? path.lexically_normal() : canonical;
}

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return identityOf(info);
}

std::optional<FileIdentity> fileIdentity(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  return identityOf(info);
}

}  // namespace platform
