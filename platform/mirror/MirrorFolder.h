#pragma once
// The folder a store is mirrored through, and what may be done with it right now.
//
// Layout: <root>/<container identifier>/journal/<device>.jsonl, one journal per device (a
// device is one local store: its identifier names the journal), and an optional file
// <root>/OFFLINE that marks the whole mirror as unavailable for now.
//
// Immutable after construction; safe from any thread.

#include <filesystem>
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

  std::filesystem::path journalFile(const UUID& device) const;
  // The devices that have a journal here, in identifier order. Other files are ignored.
  Result<std::vector<UUID>> journalDevices() const;

 private:
  std::optional<std::filesystem::path> root_;
  bool rootConfigured_;
  std::filesystem::path journalFolder_;
};

}  // namespace platform
