#include <string>
#include <string_view>
#include <system_error>

#include "measurement/engine/BMSError.h"
#include "measurement/storage/BMSSqliteStore.h"
#include "platform/sqlite/SqliteFiles.h"

namespace beacon {
namespace {

using platform::kSqliteJournalSuffix;
using platform::kSqliteLogIndexSuffix;
using platform::kSqliteLogSuffix;

std::string withSuffix(const std::filesystem::path& path, std::string_view suffix) {
  return path.string() + std::string(suffix);
}

}  // namespace

platform::Result<void> BMSDeleteSqliteFiles(const std::filesystem::path& path) {
  for (std::string_view suffix :
       {std::string_view(), kSqliteJournalSuffix, kSqliteLogSuffix, kSqliteLogIndexSuffix}) {
    std::error_code failure;
    std::filesystem::remove(withSuffix(path, suffix), failure);
    if (failure) {
      return bms_errorWithCode(
          static_cast<std::int64_t>(BMSSqliteStoreErrorCode::OpenFailed),
          "Failed to delete database file " + withSuffix(path, suffix) + ": " + failure.message());
    }
  }
  return {};
}

}  // namespace beacon
