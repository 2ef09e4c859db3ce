#include "Velloran/app/StartupFailure.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <iostream>

#include "Velloran/viewmodels/StoreFailureText.h"
#include "platform/text/Format.h"

namespace velloran {
namespace {

constexpr const char* kReadOnlyFormat =
    "Der Ordner „%@“ ist schreibgeschützt. Velloran kann dort keine Bibliothek anlegen oder öffnen.";
constexpr const char* kFullDiskFormat =
    "Der Datenträger mit dem Ordner „%@“ ist voll. Velloran kann die Bibliothek erst öffnen, wenn "
    "wieder Platz frei ist.";
constexpr const char* kOtherFormat = "Die Bibliothek im Ordner „%@“ lässt sich nicht öffnen.";
constexpr const char* kDetailFormat = "Technische Angabe: %@";

// The folder itself, or the nearest parent that exists: where a write would happen first.
std::filesystem::path nearestExisting(std::filesystem::path folder) {
  std::error_code ignored;
  while (!folder.empty() && !std::filesystem::exists(folder, ignored)) {
    if (folder == folder.parent_path()) break;
    folder = folder.parent_path();
  }
  return folder;
}

}  // namespace

FolderCondition FolderCondition::of(const std::filesystem::path& folder) {
  FolderCondition condition;
  const std::filesystem::path existing = nearestExisting(folder);
  if (existing.empty()) return condition;
  condition.writable = ::access(existing.c_str(), W_OK) == 0;
  struct statvfs space {};
  // A file system that counts no blocks at all tells nothing of its free space.
  if (::statvfs(existing.c_str(), &space) == 0 && space.f_blocks > 0) {
    condition.availableBytes = static_cast<std::uintmax_t>(space.f_bavail) * space.f_frsize;
  }
  return condition;
}

std::string startupFailureCause(const StoreOpenFailure& failure, const FolderCondition& condition) {
  const std::string folder = failure.folder.string();
  if (!condition.writable) return platform::format(kReadOnlyFormat, folder);
  const bool fullNow = condition.availableBytes && *condition.availableBytes < kFullDiskBytes;
  if (reportsFullDisk(failure.error) || fullNow) return platform::format(kFullDiskFormat, folder);
  return platform::format(kOtherFormat, folder);
}

std::string startupFailureMessage(const StoreOpenFailure& failure, const FolderCondition& condition) {
  return startupFailureCause(failure, condition) + "\n\n" + platform::format(kDetailFormat, failure.report);
}

std::string startupFailureLine(const StoreOpenFailure& failure, const FolderCondition& condition) {
  return std::string(kStartupFailureTitle) + ": " + startupFailureCause(failure, condition) + " (" +
         failure.report + ")";
}

int reportStartupFailure(const StoreOpenFailure& failure) {
  const FolderCondition condition = FolderCondition::of(failure.folder);
  std::cerr << startupFailureLine(failure, condition) << std::endl;
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kStartupFailureTitle),
                  QString::fromStdString(startupFailureMessage(failure, condition)), QMessageBox::Ok);
  // The application's own loop, not a modal one: closing the box ends it, and so does a request to
  // quit (a log-out, SIGTERM), as with the library window.
  box.show();
  QApplication::exec();
  return 1;
}

}  // namespace velloran
