#pragma once
// The on-disk side of one preferences domain: an XML property list whose top level is a dictionary.
// Loading never loses what is on disk: a file that cannot be read or parsed is renamed aside (its name
// gains ".corrupt-<unix seconds>") before the domain starts empty, and if even that fails the caller
// is told so (not writable), and every save refuses to overwrite the file until it can be read or
// renamed.
//
// Several processes may hold one domain: a save writes only the keys its caller changed over what the
// file holds at that moment, in turns with the saves of other processes (a lock on the folder), so no
// process undoes another's changes with the values it read before them.
//
// Not thread-safe on its own; PreferencesDomain serialises every call.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

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
  // Changed keys: a key with a value is set to it, a key without one is removed.
  using Changes = std::map<std::string, std::optional<Value>, std::less<>>;

  // Writes `changes` over what the file holds now (over nothing when `replacingAll`), atomically,
  // creating the folder when needed. A file that has become damaged is moved aside first and the
  // changes go over `held`, the values the caller holds, so none of them goes with the file; one that
  // can be neither read nor moved aside is left untouched and the save fails.
  Result<void> save(const Changes& changes, bool replacingAll, const Dictionary& held) const;
  // Deletes the file; a missing file is success.
  Result<void> remove() const;

 private:
  Result<std::filesystem::path> moveAside() const;

  std::filesystem::path file_;
};

}  // namespace platform
