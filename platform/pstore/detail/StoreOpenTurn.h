#pragma once
// Opens of file stores take turns, across processes, and a failed open takes away only what it made.
//
// Opening a store that is not there yet makes its file, switches it to a write-ahead log and makes its
// tables. Two processes must not take these steps at once: each would find no tables and make them,
// a switch the other is in the middle of fails as locked, and a failed open would take away files the
// other is using. So every open takes its turn first: it holds a lock (flock) on the folder the store
// is in from before it looks at the store's files until it has opened the store or taken away what it
// made. Opens of stores in one folder, by any process, wait for one another; the lock adds nothing to
// the folder, and a process that ends lets go of its turn with it.
//
// Internal to the persistent-store layer; one object belongs to one open, on one thread.

#include <filesystem>
#include <optional>
#include <vector>

#include "platform/paths/FileIO.h"
#include "platform/paths/FolderLock.h"

namespace platform::detail {

class StoreOpenTurn {
 public:
  // Waits for the turn of the folder that holds `store`, then makes the store file when there is none
  // (made exclusively: then no other open has seen it). A folder that cannot be locked (missing, one
  // the user may write but not list, or on a file system that keeps no locks) gives no turn: the open
  // goes on unordered, as the engine allows, and still makes the file exclusively when there is none.
  explicit StoreOpenTurn(const std::filesystem::path& store);
  StoreOpenTurn(const StoreOpenTurn&) = delete;
  StoreOpenTurn& operator=(const StoreOpenTurn&) = delete;

  // After a failed open, in the turn: takes away the store file this open made, while it is still that
  // very file (same device and file number), and the store's companions that were not there when the
  // turn began. A store file that was there before, or one that has been put in place since, is
  // another's: then nothing goes. Without a turn the same holds, unordered: an open elsewhere that
  // took up the file this one made in the meantime loses it with this one.
  void removeWhatThisOpenMade();

 private:
  std::filesystem::path store_;
  FolderLock turn_;
  std::optional<FileIdentity> made_;
  std::vector<std::filesystem::path> absentCompanions_;
};

}  // namespace platform::detail
