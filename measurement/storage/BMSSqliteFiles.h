#pragma once
// The measurement database's file and its journal companions, deleted or set aside together.
// Internal to the storage target.

#include <filesystem>

#include "platform/error/Result.h"

namespace beacon::storage {

// Moves the damaged database file at `path` aside as "<file>.damaged-<unix seconds>" beside itself,
// named as the platform's other damaged files are (platform::moveFileAside), with its log and its
// rollback journal under that name followed by their own suffix, so the copy opens whole; the log's
// index is removed. Only the newest copy is kept: copies set aside earlier for the same file name
// are removed once this one is in place. Answers where the file went; when it cannot be moved
// nothing is removed.
platform::Result<std::filesystem::path> setAsideDamagedSqliteFiles(const std::filesystem::path& path);

}  // namespace beacon::storage
