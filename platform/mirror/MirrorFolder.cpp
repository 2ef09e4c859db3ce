#include "platform/mirror/MirrorFolder.h"

#include <algorithm>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/paths/FileIO.h"

namespace platform {
namespace {

constexpr std::string_view kJournalFolderName = "journal";
constexpr std::string_view kJournalExtension = ".jsonl";
// A sync tool that keeps both sides of a conflict may name the other side's file so.
constexpr std::string_view kConflictSuffix = ".sync-conflict-";

// The journal name of a file, or nothing when the file is no journal: its name without the
// extension, for a conflict copy whose name goes on after the extension its name without it.
std::optional<std::string> journalName(const std::filesystem::path& path) {
  if (path.extension() == kJournalExtension) return path.stem().string();
  std::string name = path.filename().string();
  const std::size_t extension = name.find(std::string(kJournalExtension) + std::string(kConflictSuffix));
  if (extension == std::string::npos) return std::nullopt;
  return name.erase(extension, kJournalExtension.size());
}

}  // namespace

MirrorFolder::MirrorFolder(const MirrorSettings& settings, const std::string& containerIdentifier)
    : root_(settings.root), rootConfigured_(settings.rootConfigured) {
  if (!isPlainFileName(containerIdentifier)) {
    throw ProgrammerError("InvalidContainerIdentifier",
                          "the container identifier \"" + containerIdentifier + "\" cannot name a folder");
  }
  if (root_) journalFolder_ = *root_ / containerIdentifier / std::string(kJournalFolderName);
}

Result<void> MirrorFolder::prepare() const {
  if (!root_) {
    return cloudMirrorError(CloudMirrorErrorCode::NotAuthenticated,
                            "There is no mirror folder: none is configured and there is no Application "
                            "Support folder to keep one in");
  }
  std::error_code error;
  if (rootConfigured_) {
    if (!std::filesystem::is_directory(*root_, error)) {
      return cloudMirrorError(CloudMirrorErrorCode::NotAuthenticated,
                              "The mirror folder " + root_->string() + " does not exist");
    }
    std::filesystem::directory_iterator listing(*root_, error);
    if (error) {
      return cloudMirrorError(CloudMirrorErrorCode::NotAuthenticated,
                              "The mirror folder " + root_->string() + " cannot be read", error.value());
    }
  } else if (Result<void> made = createDirectories(*root_); !made) {
    return cloudMirrorError(CloudMirrorErrorCode::NetworkFailure, made.error().description);
  }
  if (std::filesystem::exists(*root_ / std::string(kMirrorOfflineMarker), error)) {
    return cloudMirrorError(CloudMirrorErrorCode::NetworkUnavailable,
                            "The mirror folder " + root_->string() + " is marked as offline");
  }
  if (Result<void> made = createDirectories(journalFolder_); !made) {
    return cloudMirrorError(CloudMirrorErrorCode::NetworkFailure, made.error().description);
  }
  return {};
}

std::filesystem::path MirrorFolder::journalFile(const UUID& device) const {
  return journalFolder_ / (device.uuidString() + std::string(kJournalExtension));
}

std::optional<UUID> MirrorFolder::deviceOfJournal(std::string_view name) {
  constexpr std::size_t kIdentifierLength = 36;
  return UUID::fromString(name.substr(0, kIdentifierLength));
}

Result<std::vector<MirrorFolder::Journal>> MirrorFolder::journals() const {
  std::vector<Journal> journals;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(journalFolder_, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::filesystem::path& path = entry->path();
    std::error_code notAFile;
    const std::optional<std::string> name = journalName(path);
    if (!name || !entry->is_regular_file(notAFile)) continue;
    if (std::optional<UUID> device = deviceOfJournal(*name))
      journals.push_back(Journal{*device, *name, path});
  }
  if (error) {
    return cloudMirrorError(CloudMirrorErrorCode::NetworkFailure,
                            "Cannot list the journals in " + journalFolder_.string(), error.value());
  }
  std::sort(journals.begin(), journals.end(),
            [](const Journal& a, const Journal& b) { return a.name < b.name; });
  return journals;
}

}  // namespace platform
