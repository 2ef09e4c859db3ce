#include "platform/sqlite/SqliteSetAside.h"

#include <array>
#include <string>
#include <system_error>

#include "platform/paths/FolderLock.h"
#include "platform/paths/PathsError.h"
#include "platform/sqlite/SqliteFiles.h"

namespace platform {
namespace {

// The companions that hold the file's content, log first.
constexpr std::array<std::string_view, 2> kContentCompanions = {kSqliteLogSuffix, kSqliteJournalSuffix};

}  // namespace

Result<std::filesystem::path> setAsideDamagedSqliteFile(const std::filesystem::path& file, KeptCopies kept,
                                                        const Clock& clock) {
  // Gone before anything moves, so that no outcome leaves it beside a new file.
  const std::filesystem::path logIndex = file.string() + std::string(kSqliteLogIndexSuffix);
  std::error_code failure;
  std::filesystem::remove(logIndex, failure);
  if (failure) {
    return pathsError(PathsErrorCode::WriteFailed, "Cannot remove " + logIndex.string(), failure.value());
  }
  return moveFileAside(file, kDamagedCopyLabel, kept, kContentCompanions, clock);
}

Result<std::optional<std::filesystem::path>> setAsideDamagedSqliteFile(const std::filesystem::path& file,
                                                                       const FileIdentity& judged,
                                                                       KeptCopies kept, const Clock& clock) {
  // Held while the file is checked and moved. A folder that gives no lock still has its damaged file
  // set aside, checked just before it moves: only a file another process puts in its place in that
  // moment could go along, where refusing would leave the damaged file in the way on every start.
  const FolderLock lock(folderOf(file));
  if (fileIdentity(file) != judged) return std::optional<std::filesystem::path>();
  Result<std::filesystem::path> aside = setAsideDamagedSqliteFile(file, kept, clock);
  if (!aside) return aside.error();
  return std::optional<std::filesystem::path>(*aside);
}

}  // namespace platform
