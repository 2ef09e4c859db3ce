#pragma once
// Whether a store's files are still exactly as they were when the store was last found sound, so
// that opening it again can skip the integrity check, which reads every page of the file.
//
// The stamp names, for the database file and for its write-ahead log when that holds anything, the
// device, the file number, the size, and the times of the last change of contents and of status.
// Every write changes the status-change time, whoever makes it (this layer's commits, another
// program, a half-finished copy); putting another file in the store's place changes the file
// number, even when that copy kept the original's times. A file whose stamp still matches cannot
// have been damaged by a write since it was checked. Damage no write made (bytes changing at rest
// on a failing disk) is not seen here; it shows when a read meets it.
//
// The stamp lives beside the store, in the file named by the store's path followed by
// kSoundStampSuffix. A missing, unreadable or outdated stamp matches nothing, so the worst a lost
// stamp costs is one more full check. Internal to the persistent-store layer; called while a store
// is opened.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::detail {

inline constexpr std::string_view kSoundStampSuffix = "-checked";

// The stamp of the store's files as they are now; nullopt when the database file cannot be looked at.
std::optional<std::string> currentStamp(const std::filesystem::path& store);

// Whether `stamp` is the one last recorded for the store.
bool isRecordedStamp(const std::filesystem::path& store, const std::string& stamp);

// Records `stamp` as the store's files found sound. Best effort: a stamp that cannot be written
// only means a full check at the next open.
void recordStamp(const std::filesystem::path& store, const std::string& stamp);

}  // namespace platform::detail
