#include "measurement/storage/BMSMeasurementPaths.h"

#include <fstream>

#include "measurement/engine/BMSError.h"
#include "measurement/storage/BMSSqliteStore.h"
#include "platform/paths/ApplicationDirectories.h"

namespace beacon {
namespace {

constexpr std::int64_t kDirectoryUnavailable = 19001;
constexpr std::int64_t kBackupMarkFailed = 19002;
constexpr std::int64_t kDeleteFailed = 19003;

// The signature backup and archiving tools look for before they skip a folder.
constexpr std::string_view kCacheDirectoryTag =
    "Signature: 8a477f597d28d172789f06886806bc55\n"
    "# This folder holds analytics data that is rebuilt when missing; backups may skip it.\n";

}  // namespace

platform::Result<std::filesystem::path> BMSMeasurementDirectoryPath() {
  auto support = platform::applicationSupportDirectory();
  if (!support) {
    platform::Error error =
        bms_errorWithCode(kDirectoryUnavailable, "Application support directory unavailable");
    error.causedBy(support.error());
    return error;
  }
  const std::filesystem::path directory = *support / "Corvane" / "Measurement";
  std::error_code failure;
  std::filesystem::create_directories(directory, failure);
  if (failure) {
    return bms_errorWithCode(kDirectoryUnavailable, "Failed to create measurement directory " +
                                                        directory.string() + ": " + failure.message());
  }
  return directory;
}

bool BMSExcludePathFromBackup(const std::filesystem::path& directory, platform::Error* error) {
  std::error_code failure;
  if (!std::filesystem::is_directory(directory, failure)) {
    BMSSetError(error, kBackupMarkFailed, "No directory to exclude from backup: " + directory.string());
    return false;
  }
  const std::filesystem::path tag = directory / "CACHEDIR.TAG";
  if (std::filesystem::exists(tag, failure)) return true;
  std::ofstream out(tag, std::ios::binary | std::ios::trunc);
  out << kCacheDirectoryTag;
  out.close();
  return BMSCheckOrSetErrorBool(static_cast<bool>(out), error, kBackupMarkFailed,
                                "Failed to mark directory for exclusion from backup: " + directory.string());
}

bool BMSDeleteDatabaseFile(std::string_view databaseName, platform::Error* error) {
  auto directory = BMSMeasurementDirectoryPath();
  if (!directory) {
    if (error) *error = directory.error();
    return false;
  }
  auto deleted = BMSDeleteSqliteFiles(*directory / databaseName);
  if (!deleted) {
    BMSSetErrorWithContext(error, kDeleteFailed, deleted.error().description, std::string(databaseName));
    return false;
  }
  return true;
}

}  // namespace beacon
