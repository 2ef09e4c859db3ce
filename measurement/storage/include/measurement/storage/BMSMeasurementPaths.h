#pragma once
// Where the measurement database lives: "Corvane/Measurement" under the application's support folder.
// Failures are engine errors of the 19000 block.

#include <filesystem>
#include <string_view>

#include "platform/error/Result.h"

namespace beacon {

// The measurement directory, made with any missing parents.
platform::Result<std::filesystem::path> BMSMeasurementDirectoryPath();

// This platform has no per-file backup flag; the folder is marked for backup tools the common way
// (a CACHEDIR.TAG in it). True when the folder exists and carries the mark.
bool BMSExcludePathFromBackup(const std::filesystem::path& directory, platform::Error* error);

// Deletes the database file `databaseName` of the measurement directory and its journal companions.
bool BMSDeleteDatabaseFile(std::string_view databaseName, platform::Error* error);

}  // namespace beacon
