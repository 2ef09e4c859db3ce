#pragma once
// Whole-file reads and crash-safe whole-file writes, folder creation, and what stands at a path.
// Every failure comes back as an Error of kPathsErrorDomain naming the path; nothing here throws or
// stops the process.
//
// Functions are safe to call from any thread. Two writers of the same file race as whole files: each
// write replaces the file completely, the last rename wins, and a reader never sees a mix.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/value/Value.h"

namespace platform {

// True when `name` names one entry inside a folder: not empty, not "." or "..", without "/" or NUL.
// Names built from outside data must pass this before they are joined to a folder.
bool isPlainFileName(std::string_view name);

// True when anything stands at `path`: a file, a folder, a link (dangling ones too), or an entry
// that cannot even be looked at. Links are not followed.
bool entryExists(const std::filesystem::path& path);

// The folder a file at `path` lies in: its parent, or the working folder for a bare name.
std::filesystem::path folderOf(const std::filesystem::path& path);

// `path` with links and dots resolved as far as it exists, so that two spellings of one place compare
// equal; the path merely normalised where it cannot be resolved.
std::filesystem::path comparablePath(const std::filesystem::path& path);

// Creates the folder and any missing parents. An existing folder is success; an existing non-folder
// at the path is a CreateDirectoryFailed error.
Result<void> createDirectories(const std::filesystem::path& folder);

// The file's complete contents. A missing file is FileNotFound, so callers can tell "nothing stored
// yet" from a file they cannot read (ReadFailed). A folder, pipe or device at the path is
// NotAFileToRead at once, never waited on or read without end, and so is a file larger than the
// machine's memory.
Result<Bytes> readFile(const std::filesystem::path& file);

// Replaces `file` so that after a crash or power loss it holds either its old or its new contents,
// never a part: the bytes go to a temporary file in the same folder, which is flushed to disk and
// renamed over the target, and then the folder itself is flushed so the rename is durable. The folder
// must exist. A new file is readable and writable by the user only.
Result<void> writeFileAtomically(const std::filesystem::path& file, std::span<const std::uint8_t> contents);

// What tells a file from another that takes its name later: its device and inode, which a rename keeps.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`, links followed; none when nothing is there or it cannot be
// looked at.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path);
// The identity of the file open at descriptor `fd`, wherever it lies now; none when it cannot be
// looked at.
std::optional<FileIdentity> fileIdentity(int fd);

}  // namespace platform
