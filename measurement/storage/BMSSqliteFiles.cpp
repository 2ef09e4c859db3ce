#include "measurement/storage/BMSSqliteFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "measurement/engine/BMSError.h"
#include "measurement/storage/BMSSqliteStore.h"
#include "platform/paths/FileAside.h"
#include "platform/sqlite/SqliteFiles.h"

namespace beacon {
namespace {

using platform::kSqliteJournalSuffix;
using platform::kSqliteLogIndexSuffix;
using platform::kSqliteLogSuffix;

constexpr std::string_view kDamagedLabel = "damaged";

// The companions that hold the file's content; the log's index is rebuilt from the log.
constexpr std::array<std::string_view, 2> kContentCompanions = {kSqliteLogSuffix, kSqliteJournalSuffix};

std::string withSuffix(const std::filesystem::path& path, std::string_view suffix) {
  return path.string() + std::string(suffix);
}

// A copy set aside earlier for the file named `name`: "<name>.damaged-" followed by its time.
bool isEarlierCopy(const std::string& entry, const std::string& name) {
  const std::string prefix = name + "." + std::string(kDamagedLabel) + "-";
  return entry.size() > prefix.size() && entry.starts_with(prefix) &&
         std::isdigit(static_cast<unsigned char>(entry[prefix.size()]));
}

void removeEarlierCopies(const std::filesystem::path& path, const std::filesystem::path& aside) {
  const std::string name = path.filename().string();
  const std::string kept = aside.filename().string();
  std::error_code failure;
  std::vector<std::filesystem::path> earlier;
  for (std::filesystem::directory_iterator entries(path.parent_path(), failure), end;
       !failure && entries != end; entries.increment(failure)) {
    const std::string entry = entries->path().filename().string();
    if (!isEarlierCopy(entry, name) || entry == kept) continue;
    const bool keptCompanion =
        std::any_of(kContentCompanions.begin(), kContentCompanions.end(),
                    [&](std::string_view suffix) { return entry == kept + std::string(suffix); });
    if (!keptCompanion) earlier.push_back(entries->path());
  }
  // Best effort: a copy that stays only costs its space.
  for (const std::filesystem::path& copy : earlier) std::filesystem::remove(copy, failure);
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

namespace storage {

platform::Result<std::filesystem::path> setAsideDamagedSqliteFiles(const std::filesystem::path& path) {
  platform::Result<std::filesystem::path> aside = platform::moveFileAside(path, kDamagedLabel);
  if (!aside) return aside.error();
  std::error_code failure;
  for (std::string_view suffix : kContentCompanions) {
    if (std::filesystem::exists(withSuffix(path, suffix), failure))
      std::filesystem::rename(withSuffix(path, suffix), withSuffix(*aside, suffix), failure);
  }
  // A log left beside a new file of the same name would be taken as its own.
  std::filesystem::remove(withSuffix(path, kSqliteLogIndexSuffix), failure);
  for (std::string_view suffix : kContentCompanions)
    std::filesystem::remove(withSuffix(path, suffix), failure);
  removeEarlierCopies(path, *aside);
  return aside;
}

}  // namespace storage
}  // namespace beacon
