#pragma once
// The file a download task writes a body into while it arrives. Internal to the net layer.
//
// Files are named "download-XXXXXX" inside the folder the session names, or, where that folder cannot
// be used, inside the fallback folder: "velloran-downloads-<user ID>" in the system's temporary
// folder, readable by its user only (0700), so that a sweep finds only files of this user's downloads
// there. Each file is locked (flock) by its owner from the moment it is made, and removed when the
// last holder lets go of it - on success and on every failure path alike. Only a process that dies
// mid-download leaves one behind; such a file is unlocked, and removeAbandonedDownloadFiles sweeps it
// away.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace platform::detail {

class DownloadFile {
 public:
  // A new, empty, locked file in `folder` (made when missing); null when none can be made.
  static std::shared_ptr<DownloadFile> make(const std::filesystem::path& folder);
  ~DownloadFile();
  DownloadFile(const DownloadFile&) = delete;
  DownloadFile& operator=(const DownloadFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  bool write(const std::uint8_t* data, std::size_t length);
  // Everything written is in the file once this answers true.
  bool flush();

 private:
  DownloadFile(std::filesystem::path path, std::FILE* file) : path_(std::move(path)), file_(file) {}

  std::filesystem::path path_;
  std::FILE* file_;
};

// The fallback folder, made when missing and `makeWhenMissing` holds; nullopt when it is missing, or
// when what stands there is not a folder of this user's alone (another user may have put it there
// first): then no download is kept there and nothing there is swept.
std::optional<std::filesystem::path> fallbackDownloadFolder(bool makeWhenMissing);

// Removes the download files in `folder` that no live task holds. Files younger than a few seconds
// are left alone: one that was just made may not be locked yet.
void removeAbandonedDownloadFiles(const std::filesystem::path& folder);

}  // namespace platform::detail
