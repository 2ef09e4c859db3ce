#pragma once
// How a container should load a store: where it lives, what kind it is, which options it has.
//
// A SQLite store is a database file (with its "-wal" and "-shm" companions while it is open); an
// in-memory store lives and dies with its coordinator. Options are set by key; the layer reads the
// two below, and keeps any other key for whoever asks (the mirror reads its own settings from the
// cloud mirror options). Both migration flags start true; a store made by another model is then
// reported as a failed migration, otherwise as incompatible.
//
// A plain value; copy it freely.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class StoreType { SQLite, InMemory };

// Record every committed change of model objects as persistent history.
inline constexpr std::string_view kPersistentHistoryTrackingOption = "PersistentHistoryTracking";
// Post kRemoteChangeNotification after every commit that changed model objects.
inline constexpr std::string_view kRemoteChangeNotificationPostOption = "RemoteChangeNotificationPost";

// Which cloud container a mirrored store is carried to.
struct CloudMirrorOptions {
  std::string containerIdentifier;
};

struct StoreDescription {
  StoreDescription() = default;
  // A SQLite store in the file at `path`.
  explicit StoreDescription(std::filesystem::path path) : path(std::move(path)) {}

  StoreType type = StoreType::SQLite;
  std::optional<std::filesystem::path> path;
  std::map<std::string, bool, std::less<>> options;
  std::optional<CloudMirrorOptions> cloudMirrorOptions;
  bool shouldInferMappingModelAutomatically = true;
  bool shouldMigrateStoreAutomatically = true;

  void setOption(std::string_view key, bool value) { options[std::string(key)] = value; }
  // False for an option never set.
  bool option(std::string_view key) const {
    auto found = options.find(key);
    return found != options.end() && found->second;
  }
};

}  // namespace platform
