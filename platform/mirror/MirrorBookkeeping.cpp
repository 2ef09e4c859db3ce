#include "platform/mirror/MirrorBookkeeping.h"

#include <nlohmann/json.hpp>

#include "platform/mirror/DecimalText.h"

namespace platform {
namespace {

const std::string kClockKey = "mirror.clock";
const std::string kExportTokenKey = "mirror.exportToken";
const std::string kDeviceKey = "mirror.device";
const std::string kHomeKey = "mirror.home";
const std::string kOwnJournalKey = "mirror.journal";
const std::string kOffsetPrefix = "mirror.offset.";
const std::string kRecordPrefix = "mirror.record.";
const std::string kPendingReferencesKey = "mirror.pendingReferences";
constexpr std::string_view kLive = "live";
constexpr std::string_view kDeleted = "deleted";

// "<clock> <device> live|deleted[ <entity>]"
std::optional<RecordState> recordStateFrom(std::string_view text) {
  const std::size_t first = text.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : text.find(' ', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::size_t third = text.find(' ', second + 1);
  std::optional<std::int64_t> clock = mirror_detail::decimalNumber<std::int64_t>(text.substr(0, first));
  std::optional<UUID> device = UUID::fromString(text.substr(first + 1, second - first - 1));
  const std::string_view kind =
      text.substr(second + 1, third == std::string_view::npos ? third : third - second - 1);
  if (!clock || !device || (kind != kLive && kind != kDeleted)) return std::nullopt;
  return RecordState{RecordStamp{*clock, *device}, kind == kDeleted,
                     third == std::string_view::npos ? std::string() : std::string(text.substr(third + 1))};
}

// The readable ones of stored record states, by record.
std::map<UUID, RecordState> recordStatesFrom(const std::map<std::string, std::string>& stored) {
  std::map<UUID, RecordState> states;
  for (const auto& [key, value] : stored) {
    std::optional<UUID> record = UUID::fromString(std::string_view(key).substr(kRecordPrefix.size()));
    std::optional<RecordState> state = recordStateFrom(value);
    if (record && state) states.emplace(*record, std::move(*state));
  }
  return states;
}

}  // namespace

Result<std::int64_t> MirrorBookkeeping::clock() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kClockKey);
  if (!stored) return stored.error();
  return *stored ? mirror_detail::decimalNumber<std::int64_t>(**stored).value_or(0) : 0;
}

void MirrorBookkeeping::setClock(std::int64_t clock) {
  context_.setMetadataValue(kClockKey, std::to_string(clock));
}

Result<std::optional<HistoryToken>> MirrorBookkeeping::exportToken() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kExportTokenKey);
  if (!stored) return stored.error();
  return *stored ? HistoryToken::parse(**stored) : std::nullopt;
}

void MirrorBookkeeping::setExportToken(const HistoryToken& token) {
  context_.setMetadataValue(kExportTokenKey, token.serialized());
}

Result<std::optional<UUID>> MirrorBookkeeping::device() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kDeviceKey);
  if (!stored) return stored.error();
  return *stored ? UUID::fromString(**stored) : std::nullopt;
}

void MirrorBookkeeping::setDevice(const UUID& device) {
  context_.setMetadataValue(kDeviceKey, device.uuidString());
}

Result<std::optional<std::string>> MirrorBookkeeping::home() const {
  return context_.metadataValue(kHomeKey);
}

void MirrorBookkeeping::setHome(const std::string& home) {
  context_.setMetadataValue(kHomeKey, home);
}

Result<std::optional<JournalPosition>> MirrorBookkeeping::ownJournal() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kOwnJournalKey);
  if (!stored) return stored.error();
  return *stored ? JournalPosition::parse(**stored) : std::nullopt;
}

void MirrorBookkeeping::setOwnJournal(const JournalPosition& position) {
  context_.setMetadataValue(kOwnJournalKey, position.serialized());
}

Result<JournalPosition> MirrorBookkeeping::journalPosition(const std::string& journal) const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kOffsetPrefix + journal);
  if (!stored) return stored.error();
  return *stored ? JournalPosition::parse(**stored).value_or(JournalPosition{}) : JournalPosition{};
}

void MirrorBookkeeping::setJournalPosition(const std::string& journal, const JournalPosition& position) {
  context_.setMetadataValue(kOffsetPrefix + journal, position.serialized());
}

Result<std::optional<RecordState>> MirrorBookkeeping::recordState(const UUID& record) const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kRecordPrefix + record.uuidString());
  if (!stored) return stored.error();
  return *stored ? recordStateFrom(**stored) : std::nullopt;
}

void MirrorBookkeeping::setRecordState(const UUID& record, const RecordState& state) {
  context_.setMetadataValue(kRecordPrefix + record.uuidString(),
                            std::to_string(state.stamp.clock) + " " + state.stamp.device.uuidString() + " " +
                                std::string(state.deleted ? kDeleted : kLive) +
                                (state.entity.empty() ? "" : " " + state.entity));
}

Result<std::map<UUID, RecordState>> MirrorBookkeeping::recordStates() const {
  Result<std::map<std::string, std::string>> stored = context_.metadataValues(kRecordPrefix);
  if (!stored) return stored.error();
  return recordStatesFrom(*stored);
}

Result<std::map<UUID, RecordState>> MirrorBookkeeping::recordStates(const std::vector<UUID>& records) const {
  std::vector<std::string> keys;
  keys.reserve(records.size());
  for (const UUID& record : records) keys.push_back(kRecordPrefix + record.uuidString());
  Result<std::map<std::string, std::string>> stored = context_.metadataValues(keys);
  if (!stored) return stored.error();
  return recordStatesFrom(*stored);
}

Result<std::vector<PendingReference>> MirrorBookkeeping::pendingReferences() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kPendingReferencesKey);
  if (!stored) return stored.error();
  std::vector<PendingReference> references;
  if (!*stored) return references;
  const nlohmann::json json = nlohmann::json::parse(**stored, nullptr, false);
  if (!json.is_array()) return references;
  for (const nlohmann::json& item : json) {
    if (!item.is_array() || item.size() != 4 || !item[0].is_string() || !item[1].is_string() ||
        !item[2].is_string() || !item[3].is_string()) {
      continue;
    }
    std::optional<UUID> record = UUID::fromString(item[1].get<std::string>());
    std::optional<UUID> target = UUID::fromString(item[3].get<std::string>());
    if (record && target) {
      references.push_back({item[0].get<std::string>(), *record, item[2].get<std::string>(), *target});
    }
  }
  return references;
}

void MirrorBookkeeping::setPendingReferences(const std::vector<PendingReference>& references) {
  if (references.empty()) {
    context_.setMetadataValue(kPendingReferencesKey, std::nullopt);
    return;
  }
  nlohmann::json json = nlohmann::json::array();
  for (const PendingReference& reference : references) {
    json.push_back(
        {reference.entity, reference.record.uuidString(), reference.key, reference.target.uuidString()});
  }
  context_.setMetadataValue(kPendingReferencesKey, json.dump());
}

}  // namespace platform
