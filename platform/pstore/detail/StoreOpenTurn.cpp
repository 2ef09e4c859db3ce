#include "platform/pstore/detail/StoreOpenTurn.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/paths/FileIO.h"
#include "platform/pstore/detail/SoundStamp.h"
#include "platform/sqlite/SqliteFiles.h"

namespace platform::detail {
namespace {

// The mode the engine gives the files it makes; the process's file mode mask applies as to them.
constexpr mode_t kStoreFileMode = 0644;

std::filesystem::path folderOf(const std::filesystem::path& store) {
  std::filesystem::path folder = store.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

bool lockExclusively(int fd) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

StoreOpenTurn::StoreOpenTurn(const std::filesystem::path& store)
    : store_(store), folder_(openRetrying(folderOf(store), O_RDONLY | O_DIRECTORY)) {
  holdsTurn_ = folder_.valid() && lockExclusively(folder_.get());
  if (!holdsTurn_ || entryExists(store_)) return;
  for (std::string_view suffix :
       {kSqliteLogIndexSuffix, kSqliteLogSuffix, kSqliteJournalSuffix, kSoundStampSuffix}) {
    std::filesystem::path companion = store_.string() + std::string(suffix);
    if (!entryExists(companion)) absentCompanions_.push_back(std::move(companion));
  }
  // The engine opens the empty file as a new database. Should the file not be made here (a folder
  // that refuses it), the engine's own attempt reports why.
  FileDescriptor file(openRetrying(store_, O_RDWR | O_CREAT | O_EXCL, kStoreFileMode));
  struct stat made {};
  if (file.valid() && ::fstat(file.get(), &made) == 0) made_ = FileIdentity{made.st_dev, made.st_ino};
}

StoreOpenTurn::~StoreOpenTurn() {
  // Explicitly: a child forked meanwhile shares the descriptor, and would hold the turn until it
  // closes it.
  if (holdsTurn_) ::flock(folder_.get(), LOCK_UN);
}

void StoreOpenTurn::removeWhatThisOpenMade() {
  if (!made_) return;
  struct stat now {};
  if (::lstat(store_.c_str(), &now) != 0 || now.st_dev != made_->device || now.st_ino != made_->number)
    return;
  std::error_code ignored;
  std::filesystem::remove(store_, ignored);
  for (const std::filesystem::path& companion : absentCompanions_)
    std::filesystem::remove(companion, ignored);
}

}  // namespace platform::detail
