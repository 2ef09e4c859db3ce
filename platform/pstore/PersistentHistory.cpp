#include "platform/pstore/PersistentHistory.h"

#include <charconv>

namespace platform {
namespace {

constexpr std::string_view kTokenPrefix = "HT1:";

}  // namespace

std::string HistoryToken::serialized() const {
  return std::string(kTokenPrefix) + storeIdentifier.uuidString() + ":" + std::to_string(transactionNumber);
}

std::optional<HistoryToken> HistoryToken::parse(std::string_view text) {
  if (!text.starts_with(kTokenPrefix)) return std::nullopt;
  text.remove_prefix(kTokenPrefix.size());
  const std::size_t separator = text.find(':');
  if (separator == std::string_view::npos) return std::nullopt;
  std::optional<UUID> store = UUID::fromString(text.substr(0, separator));
  const std::string_view digits = text.substr(separator + 1);
  if (!store || digits.empty() || digits.front() == '0') return std::nullopt;
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size() || number <= 0) return std::nullopt;
  return HistoryToken{*store, number};
}

ObjectIDChanges HistoryTransaction::objectIDChanges() const {
  ObjectIDChanges sorted;
  for (const HistoryChange& change : changes) {
    switch (change.type) {
      case HistoryChangeType::Insert:
        sorted.inserted.push_back(change.objectID);
        break;
      case HistoryChangeType::Update:
        sorted.updated.push_back(change.objectID);
        break;
      case HistoryChangeType::Delete:
        sorted.deleted.push_back(change.objectID);
        break;
    }
  }
  return sorted;
}

}  // namespace platform
