#include "platform/pstore/detail/StoreOpenTurn.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <string_view>
#include <system_error>

#include "platform/paths/FileDescriptor.h"
#include "platform/pstore/detail/SoundStamp.h"
#include "platform/sqlite/SqliteFiles.h"

namespace platform::detail {
namespace {

// The mode the engine gives the files it makes; the process's file mode mask applies as to them.
constexpr mode_t kStoreFileMode = 0644;

}  // namespace

StoreOpenTurn::StoreOpenTurn(const std::filesystem::path& store) : store_(store), turn_(folderOf(store)) {
  if (entryExists(store_)) return;
  for (std::string_view suffix :
       {kSqliteLogIndexSuffix, kSqliteLogSuffix, kSqliteJournalSuffix, kSoundStampSuffix}) {
    std::filesystem::path companion = store_.string() + std::string(suffix);
    if (!entryExists(companion)) absentCompanions_.push_back(std::move(companion));
  }
  // The engine opens the empty file as a new database. Should the file not be made here (a folder
  // that refuses it), the engine's own attempt reports why. Its identity is taken from the file made,
  // not the path: without a turn another open may already have replaced it there.
  const FileDescriptor made(openRetrying(store_, O_RDWR | O_CREAT | O_EXCL, kStoreFileMode));
  if (made.valid()) made_ = fileIdentity(made.get());
}

void StoreOpenTurn::removeWhatThisOpenMade() {
  if (!made_ || fileIdentity(store_) != made_) return;
  std::error_code ignored;
  std::filesystem::remove(store_, ignored);
  for (const std::filesystem::path& companion : absentCompanions_)
    std::filesystem::remove(companion, ignored);
}

}  // namespace platform::detail
