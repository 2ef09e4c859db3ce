#include "platform/pstore/PersistentStore.h"

#include "platform/pstore/detail/StoreDatabase.h"

namespace platform {

PersistentStore::PersistentStore(StoreDescription description,
                                 std::unique_ptr<detail::StoreDatabase> database)
    : description_(std::move(description)), database_(std::move(database)) {}

PersistentStore::~PersistentStore() = default;

const UUID& PersistentStore::identifier() const {
  return database_->identifier();
}

std::optional<std::filesystem::path> PersistentStore::path() const {
  if (description_.type == StoreType::InMemory) return std::nullopt;
  return description_.path;
}

std::uint64_t PersistentStore::changeCount() const {
  return database_->changeCount();
}

bool PersistentStore::tracksHistory() const {
  return database_->tracksHistory();
}

}  // namespace platform
