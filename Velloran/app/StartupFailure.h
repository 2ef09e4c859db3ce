#pragma once
// What the user is told when the application cannot start because its library cannot be opened: the
// cause in German - a folder that accepts no writes, a full disk, or any other failure of the store -
// and the folder concerned, with the store's own report for whoever looks closer. The application
// shows it in a message box and on standard error, then exits with a failure (no abort).
//
// The cause is read from the failure's codes and from the folder, never from the failure's wording.
// A full disk is what the failure says (the engine's SQLITE_FULL, or ENOSPC behind any failure) or
// what the folder shows: the failed start has taken away the files it made by the time the folder
// is looked at, so the folder may well have room again although the failure was a full disk.
//
// Pure functions over the condition they are given; FolderCondition::of reads the file system.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "Velloran/persistence/CoreDataStack.h"

namespace velloran {

inline constexpr const char* kStartupFailureTitle = "Velloran kann nicht starten";

// Below this much free space a store cannot even write its log.
inline constexpr std::uintmax_t kFullDiskBytes = 64 * 1024;

struct FolderCondition {
  // The folder, or its nearest parent that exists, accepts writes.
  bool writable = true;
  // Free space on its file system, when that can be read and the file system counts its blocks.
  std::optional<std::uintmax_t> availableBytes;

  static FolderCondition of(const std::filesystem::path& folder);
};

// The German sentence naming the cause and the folder.
std::string startupFailureCause(const StoreOpenFailure& failure, const FolderCondition& condition);
// The message box's text: the cause, then the store's report.
std::string startupFailureMessage(const StoreOpenFailure& failure, const FolderCondition& condition);
// The same on one line, for standard error.
std::string startupFailureLine(const StoreOpenFailure& failure, const FolderCondition& condition);

// Tells the user: the line on standard error, then the message box until they close it (or the
// application is asked to quit). Answers the exit status, 1. Main thread, once the QApplication exists.
int reportStartupFailure(const StoreOpenFailure& failure);

}  // namespace velloran
