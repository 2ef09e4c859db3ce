#pragma once
// The folder a store is mirrored through, and what may be done with it right now.
//
// Layout: <root>/<container identifier>/journal/<device>.jsonl, one journal per device (a
// device is one local store: its identifier names the journal), and an optional file
// <root>/OFFLINE that marks the whole mirror as unavailable for now. A file-sync tool that meets
// two versions of one journal keeps both, the second under a name such as "<device> (1).jsonl" or
// "<device>.jsonl.sync-conflict-<when>": every such file whose name starts with a device identifier
// is a journal of that device.
//
// Immutable after construction; safe from any thread.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/identity/UUID.h"
#include "platform/mirror/MirrorSettings.h"

namespace platform {

inline constexpr std::string_view kMirrorOfflineMarker = "OFFLINE";

class MirrorFolder {
 public:
  // `containerIdentifier` must be a plain file name (ProgrammerError otherwise).
  MirrorFolder(const MirrorSettings& settings, const std::string& containerIdentifier);

  // Succeeds when the mirror can be used now, having made the journal folder if needed. Fails with
  // NotAuthenticated without a root, or when a configured root is missing, not a folder or cannot be
  // read; with NetworkUnavailable while the OFFLINE marker is there; with NetworkFailure when the
  // folders cannot be made.
  Result<void> prepare() const;

  // The journal a device writes.
  std::filesystem::path journalFile(const UUID& device) const;

  struct Journal {
    UUID device;
    // The file name without its extension: the device identifier, perhaps with a copy's suffix.
    // Unique among the journals, and never a device identifier alone for a conflict copy.
    std::string name;
    std::filesystem::path path;
  };
  // The device a journal of this name belongs to; nothing when the name is not a journal's.
  static std::optional<UUID> deviceOfJournal(std::string_view name);

  // Every journal here, conflict copies included, in name order. Other files, and anything that is
  // not a file (a pipe, a folder), are ignored.
  Result<std::vector<Journal>> journals() const;

 private:
  std::optional<std::filesystem::path> root_;
  bool rootConfigured_;
  std::filesystem::path journalFolder_;
};

}  // namespace platform
