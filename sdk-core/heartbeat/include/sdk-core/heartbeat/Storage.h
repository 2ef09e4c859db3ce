#pragma once
// The byte store beneath a heartbeat store: one blob per app ID, read and replaced whole.
// Implementations are used from one serial queue at a time (the owning HeartbeatStorage's); a store
// that other processes share hands out turns, so one process's read, change and write is never
// undone by another's.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error/Error.h"
#include "platform/error/Result.h"
#include "platform/value/Value.h"

namespace beacon {

inline constexpr std::string_view kStorageErrorDomain = "beacon.heartbeat.StorageError";

enum class StorageError : std::int64_t { readError = 1, writeError = 2 };

// An error of kStorageErrorDomain; `cause`, when given, is kept as the underlying error.
platform::Error storageError(StorageError code, std::string description,
                             std::optional<platform::Error> cause = std::nullopt);

class Storage {
 public:
  virtual ~Storage() = default;

  // The stored bytes; readError when there are none or they cannot be read.
  virtual platform::Result<platform::Bytes> read() = 0;
  // Replaces the stored bytes; nullopt stores zero bytes. writeError on failure.
  virtual platform::Result<void> write(const std::optional<platform::Bytes>& data) = 0;
  // Held over one read, change and write: other processes' turns wait until it is let go. None for a
  // store this process alone uses.
  virtual std::shared_ptr<void> takeTurn() { return nullptr; }
};

// Makes the byte store of one app ID. The system's is FileStorage::storageForID.
using StorageFactory = std::function<std::shared_ptr<Storage>(std::string_view id)>;

}  // namespace beacon
