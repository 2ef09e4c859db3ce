#pragma once
// The on-disk side of one preferences domain: an XML property list whose top level is a dictionary.
// Loading never loses what is on disk: a file that cannot be read or parsed is renamed aside (its name
// gains ".corrupt-<unix seconds>") before the domain starts empty, and if even that fails the caller
// is told to keep the domain in memory only, so the damaged file is never overwritten.
//
// Not thread-safe on its own; PreferencesDomain serialises every call.

#include <filesystem>
#include <optional>

#include "platform/error/Result.h"
#include "platform/value/Value.h"

namespace platform {

class PreferencesFile {
 public:
  struct Loaded {
    Dictionary values;
    // False when the file could be neither read nor moved aside: writing would destroy it.
    bool writable = true;
    // Where a damaged file was moved to.
    std::optional<std::filesystem::path> keptAside;
    // Why the file was not used as it stood (unreadable, malformed, not a dictionary).
    std::optional<Error> problem;
  };

  explicit PreferencesFile(std::filesystem::path file) : file_(std::move(file)) {}

  const std::filesystem::path& path() const { return file_; }

  // A missing file is an empty domain.
  Loaded load() const;
  // Writes atomically, creating the folder when needed.
  Result<void> save(const Dictionary& values) const;
  // Deletes the file; a missing file is success.
  Result<void> remove() const;

 private:
  Result<std::filesystem::path> moveAside() const;

  std::filesystem::path file_;
};

}  // namespace platform
