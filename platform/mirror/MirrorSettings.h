#pragma once
// Where a store is mirrored to and how often the mirror looks for work.
//
// The mirror root is a folder that any file-sync tool can carry between machines. It is the folder
// named by VELLORAN_CLOUD_DIR when that is set and not empty: a root chosen like that must exist
// (the user made it, or their sync tool did), and when it is missing or unreadable there is no
// account to mirror to. Without the variable the root is the folder "CloudMirror" in the
// application's Application Support folder, made on first use, so a first run mirrors with no
// set-up at all (to that machine alone, until a sync tool carries the folder).
//
// A store's own rule for imports can ride along (adjustImport): it is given, in the import's
// context and before each chunk is saved, every object the chunk wrote or linked, and may change
// values that every machine derives alike from what it holds; its changes are saved as part of the
// import, so they are not sent back out. A failure fails the import.
//
// A plain value.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/pstore/ManagedObject.h"

namespace platform {

inline constexpr std::string_view kMirrorRootEnvironmentVariable = "VELLORAN_CLOUD_DIR";
inline constexpr std::string_view kDefaultMirrorFolderName = "CloudMirror";

class ManagedObjectContext;

using ImportAdjustment =
    std::function<Result<void>(ManagedObjectContext& context, const std::vector<ManagedObject>& written)>;

struct MirrorSettings {
  // nullopt: no root could be named, which the mirror reports as "no account".
  std::optional<std::filesystem::path> root;
  // A configured root must exist; the default one is made when missing.
  bool rootConfigured = false;
  // How often other machines' journals are looked at.
  std::chrono::nanoseconds pollInterval = std::chrono::seconds(1);
  // How long after a local save the export waits for more saves to join it.
  std::chrono::nanoseconds exportDelay = std::chrono::milliseconds(300);
  // None: imports are saved as they arrive.
  ImportAdjustment adjustImport;

  // A root the caller chose (tests, tools): it must exist, like one set in the environment.
  static MirrorSettings configured(std::filesystem::path root);
  // From the environment variable, else the default folder in Application Support.
  static MirrorSettings fromEnvironment();
  // The same rules over given inputs: the variable's value, and the Application Support folder (or
  // why there is none).
  static MirrorSettings resolve(const std::optional<std::string>& environmentRoot,
                                const Result<std::filesystem::path>& applicationSupport);
};

}  // namespace platform
