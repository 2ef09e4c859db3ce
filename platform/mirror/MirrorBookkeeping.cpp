#include "platform/mirror/MirrorBookkeeping.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/mirror/DecimalText.h"

namespace platform {
namespace {

const std::string kClockKey = "mirror.clock";
const std::string kWallClockKey = "mirror.wallClock";
const std::string kHeldPrefix = "mirror.held.";
const std::string kEarliestHeldKey = "mirror.earliestHeld";
const std::string kExportTokenKey = "mirror.exportToken";
const std::string kDeviceKey = "mirror.device";
const std::string kHomeKey = "mirror.home";
const std::string kOwnJournalKey = "mirror.journal";
const std::string kOwnJournalAppliedKey = "mirror.journalApplied";
const std::string kMetLinesItDidNotWriteKey = "mirror.metLinesItDidNotWrite";
const std::string kOffsetPrefix = "mirror.offset.";
const std::string kFoundShortPrefix = "mirror.foundShort.";
const std::string kTextRecordPrefix = "mirror.record.";
const std::string kPendingReferencesKey = "mirror.pendingReferences";
const std::string kOwnersAwaitedKey = "mirror.ownersAwaited";
const std::string kOwedPrefix = "mirror.owed.";
constexpr std::string_view kLive = "live";
constexpr std::string_view kDeleted = "deleted";

// As stores kept record states among their metadata texts: "<clock> <device> live|deleted[ <entity>]".
std::optional<RecordState> recordStateFromText(std::string_view text) {
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
                     third == std::string_view::npos ? std::string() : std::string(text.substr(third + 1)),
                     std::nullopt};
}

// A record state as per-record metadata: the clock (eight bytes, most significant first), the
// device's sixteen bytes, a kind byte, then the entity's name. The kind's lowest bit is set for a
// deletion; its next bit says that the line's digest (eight bytes, most significant first) comes
// before the name; its third bit marks a member deleted on its own. States kept before digests were
// recorded have none of the bits but the lowest.
constexpr std::size_t kNumberBytes = 8;
constexpr std::size_t kStateHead = kNumberBytes + sizeof(UUID::Bytes) + 1;
constexpr std::uint8_t kDeletedKind = 1;
constexpr std::uint8_t kDigestKind = 2;
constexpr std::uint8_t kAloneKind = 4;

void appendNumber(Bytes& bytes, std::uint64_t number) {
  for (std::size_t i = 0; i < kNumberBytes; ++i)
    bytes.push_back(static_cast<std::uint8_t>(number >> (8 * (kNumberBytes - 1 - i))));
}

std::uint64_t numberAt(const Bytes& bytes, std::size_t offset) {
  std::uint64_t number = 0;
  for (std::size_t i = 0; i < kNumberBytes; ++i) number = (number << 8) | bytes[offset + i];
  return number;
}

Bytes encodedRecordState(const RecordState& state) {
  Bytes bytes;
  bytes.reserve(kStateHead + kNumberBytes + state.entity.size());
  appendNumber(bytes, static_cast<std::uint64_t>(state.stamp.clock));
  bytes.insert(bytes.end(), state.stamp.device.bytes().begin(), state.stamp.device.bytes().end());
  bytes.push_back((state.deleted ? kDeletedKind : 0) | (state.lineDigest ? kDigestKind : 0) |
                  (state.deleted && state.alone ? kAloneKind : 0));
  if (state.lineDigest) appendNumber(bytes, *state.lineDigest);
  bytes.insert(bytes.end(), state.entity.begin(), state.entity.end());
  return bytes;
}

std::optional<RecordState> decodedRecordState(const Bytes& bytes) {
  if (bytes.size() < kStateHead) return std::nullopt;
  const std::uint8_t kind = bytes[kStateHead - 1];
  if ((kind & ~(kDeletedKind | kDigestKind | kAloneKind)) != 0) return std::nullopt;
  RecordState state;
  state.stamp.clock = static_cast<std::int64_t>(numberAt(bytes, 0));
  UUID::Bytes device;
  std::copy(bytes.begin() + kNumberBytes, bytes.begin() + kNumberBytes + device.size(), device.begin());
  state.stamp.device = UUID(device);
  state.deleted = (kind & kDeletedKind) != 0;
  state.alone = state.deleted && (kind & kAloneKind) != 0;
  std::size_t entityStart = kStateHead;
  if ((kind & kDigestKind) != 0) {
    if (bytes.size() < kStateHead + kNumberBytes) return std::nullopt;
    state.lineDigest = numberAt(bytes, kStateHead);
    entityStart += kNumberBytes;
  }
  state.entity.assign(bytes.begin() + static_cast<std::ptrdiff_t>(entityStart), bytes.end());
  return state;
}

// The readable ones of stored record states, by record.
std::map<UUID, RecordState> recordStatesFrom(const std::map<UUID, Bytes>& stored) {
  std::map<UUID, RecordState> states;
  for (const auto& [record, bytes] : stored) {
    if (std::optional<RecordState> state = decodedRecordState(bytes))
      states.emplace(record, std::move(*state));
  }
  return states;
}

// A held entry's key: its stamp's clock in fixed width, so that the keys sort as the stamps do,
// then its device, record and line digest: "mirror.held.<clock>.<device>.<record>.<digest>". Keys
// kept before digests were end with the record.
constexpr int kHeldClockDigits = 19;

std::string heldKey(const HeldEntry& entry) {
  std::string clock = std::to_string(entry.stamp.clock);
  clock.insert(0, kHeldClockDigits - std::min<std::size_t>(clock.size(), kHeldClockDigits), '0');
  std::string key =
      kHeldPrefix + clock + "." + entry.stamp.device.uuidString() + "." + entry.record.uuidString();
  if (entry.lineDigest) key += "." + std::to_string(*entry.lineDigest);
  return key;
}

std::optional<HeldEntry> heldEntryFrom(std::string_view key, std::string line) {
  key.remove_prefix(kHeldPrefix.size());
  const std::size_t first = key.find('.');
  const std::size_t second = first == std::string_view::npos ? first : key.find('.', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::size_t third = key.find('.', second + 1);
  std::optional<std::int64_t> clock = mirror_detail::decimalNumber<std::int64_t>(key.substr(0, first));
  std::optional<UUID> device = UUID::fromString(key.substr(first + 1, second - first - 1));
  std::optional<UUID> record = UUID::fromString(key.substr(second + 1, third - second - 1));
  std::optional<std::uint64_t> digest;
  if (third != std::string_view::npos) {
    digest = mirror_detail::decimalNumber<std::uint64_t>(key.substr(third + 1));
    if (!digest) return std::nullopt;
  }
  if (!clock || !device || !record) return std::nullopt;
  return HeldEntry{RecordStamp{*clock, *device}, *record, std::move(line), digest};
}

}  // namespace

Result<HybridLogicalClock> MirrorBookkeeping::clock() const {
  Result<std::map<std::string, std::string>> stored =
      context_.metadataValues(std::vector<std::string>{kClockKey, kWallClockKey});
  if (!stored) return stored.error();
  const auto number = [&](const std::string& key) {
    auto found = stored->find(key);
    return found == stored->end() ? 0 : mirror_detail::decimalNumber<std::int64_t>(found->second).value_or(0);
  };
  return HybridLogicalClock(number(kClockKey), number(kWallClockKey));
}

void MirrorBookkeeping::setClock(const HybridLogicalClock& clock) {
  context_.setMetadataValue(kClockKey, std::to_string(clock.last()));
  context_.setMetadataValue(kWallClockKey, std::to_string(clock.wallClock()));
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

Result<bool> MirrorBookkeeping::metLinesItDidNotWrite() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kMetLinesItDidNotWriteKey);
  if (!stored) return stored.error();
  return stored->has_value();
}

void MirrorBookkeeping::setMetLinesItDidNotWrite(bool met) {
  context_.setMetadataValue(kMetLinesItDidNotWriteKey, met ? std::optional<std::string>("1") : std::nullopt);
}

Result<std::optional<JournalPosition>> MirrorBookkeeping::ownJournal() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kOwnJournalKey);
  if (!stored) return stored.error();
  return *stored ? JournalPosition::parse(**stored) : std::nullopt;
}

void MirrorBookkeeping::setOwnJournal(const JournalPosition& position) {
  context_.setMetadataValue(kOwnJournalKey, position.serialized());
}

Result<JournalPosition> MirrorBookkeeping::ownJournalApplied() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kOwnJournalAppliedKey);
  if (!stored) return stored.error();
  if (*stored) {
    if (std::optional<JournalPosition> applied = JournalPosition::parse(**stored)) return *applied;
  }
  Result<std::optional<JournalPosition>> written = ownJournal();
  if (!written) return written.error();
  return written->value_or(JournalPosition{});
}

void MirrorBookkeeping::setOwnJournalApplied(const JournalPosition& position) {
  context_.setMetadataValue(kOwnJournalAppliedKey, position.serialized());
}

Result<void> MirrorBookkeeping::readJournalsAgainAfterOlderVersions() {
  Result<std::map<std::string, std::string>> clocks =
      context_.metadataValues(std::vector<std::string>{kClockKey, kWallClockKey});
  if (!clocks) return clocks.error();
  if (!clocks->count(kClockKey) || clocks->count(kWallClockKey)) return {};
  Result<std::map<std::string, std::string>> positions = context_.metadataValues(kOffsetPrefix);
  if (!positions) return positions.error();
  for (const auto& [key, position] : *positions) context_.setMetadataValue(key, std::nullopt);
  context_.setMetadataValue(kWallClockKey, "0");
  return {};
}

Result<JournalPosition> MirrorBookkeeping::journalPosition(const std::string& journal) const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kOffsetPrefix + journal);
  if (!stored) return stored.error();
  return *stored ? JournalPosition::parse(**stored).value_or(JournalPosition{}) : JournalPosition{};
}

void MirrorBookkeeping::setJournalPosition(const std::string& journal, const JournalPosition& position) {
  context_.setMetadataValue(kOffsetPrefix + journal, position.serialized());
}

Result<std::map<std::string, JournalPosition>> MirrorBookkeeping::journalPositions() const {
  // As journalPosition() reads it: one that cannot be read is the journal's start.
  return positionsUnder(kOffsetPrefix, JournalPosition{});
}

void MirrorBookkeeping::forgetJournalPosition(const std::string& journal) {
  context_.setMetadataValue(kOffsetPrefix + journal, std::nullopt);
}

Result<std::map<std::string, JournalPosition>> MirrorBookkeeping::journalsFoundShort() const {
  // A position that cannot be read is held by no journal: the journal's records go out again.
  return positionsUnder(kFoundShortPrefix, JournalPosition{UINT64_MAX, 0, 0, false});
}

Result<std::map<std::string, JournalPosition>> MirrorBookkeeping::positionsUnder(
    const std::string& prefix, const JournalPosition& unreadable) const {
  Result<std::map<std::string, std::string>> stored = context_.metadataValues(prefix);
  if (!stored) return stored.error();
  std::map<std::string, JournalPosition> positions;
  for (const auto& [key, position] : *stored)
    positions.emplace(key.substr(prefix.size()), JournalPosition::parse(position).value_or(unreadable));
  return positions;
}

void MirrorBookkeeping::noteJournalFoundShort(const std::string& journal, const JournalPosition& readTo) {
  context_.setMetadataValue(kFoundShortPrefix + journal, readTo.serialized());
}

void MirrorBookkeeping::forgetJournalFoundShort(const std::string& journal) {
  context_.setMetadataValue(kFoundShortPrefix + journal, std::nullopt);
}

Result<std::optional<RecordState>> MirrorBookkeeping::recordState(const UUID& record) const {
  Result<std::map<UUID, RecordState>> states = recordStates(std::vector<UUID>{record});
  if (!states) return states.error();
  auto found = states->find(record);
  return found == states->end() ? std::nullopt : std::optional<RecordState>(std::move(found->second));
}

void MirrorBookkeeping::setRecordState(const UUID& record, const RecordState& state) {
  context_.setRecordMetadata(record, encodedRecordState(state));
}

Result<std::map<UUID, RecordState>> MirrorBookkeeping::recordStates() const {
  Result<std::map<UUID, Bytes>> stored = context_.allRecordMetadata();
  if (!stored) return stored.error();
  return recordStatesFrom(*stored);
}

Result<std::map<UUID, RecordState>> MirrorBookkeeping::recordStates(const std::vector<UUID>& records) const {
  Result<std::map<UUID, Bytes>> stored = context_.recordMetadata(records);
  if (!stored) return stored.error();
  return recordStatesFrom(*stored);
}

Result<void> MirrorBookkeeping::adoptTextRecordStates() {
  Result<std::map<std::string, std::string>> stored = context_.metadataValues(kTextRecordPrefix);
  if (!stored) return stored.error();
  std::map<UUID, RecordState> adopted;
  for (const auto& [key, value] : *stored) {
    context_.setMetadataValue(key, std::nullopt);
    std::optional<UUID> record = UUID::fromString(std::string_view(key).substr(kTextRecordPrefix.size()));
    std::optional<RecordState> state = recordStateFromText(value);
    if (record && state) adopted.emplace(*record, std::move(*state));
  }
  if (adopted.empty()) return {};
  std::vector<UUID> records;
  records.reserve(adopted.size());
  for (const auto& [record, state] : adopted) records.push_back(record);
  Result<std::map<UUID, RecordState>> kept = recordStates(records);
  if (!kept) return kept.error();
  for (const auto& [record, state] : adopted) {
    // A state both places hold is the later write's.
    auto newer = kept->find(record);
    if (newer == kept->end() || newer->second.stamp < state.stamp) setRecordState(record, state);
  }
  return {};
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

// "mirror.ownersAwaited" holds a list of [owner, clock, device].
Result<std::map<UUID, RecordStamp>> MirrorBookkeeping::ownersAwaited() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kOwnersAwaitedKey);
  if (!stored) return stored.error();
  std::map<UUID, RecordStamp> owners;
  if (!*stored) return owners;
  const nlohmann::json json = nlohmann::json::parse(**stored, nullptr, false);
  if (!json.is_array()) return owners;
  for (const nlohmann::json& item : json) {
    if (!item.is_array() || item.size() != 3 || !item[0].is_string() || !item[1].is_number_integer() ||
        !item[2].is_string()) {
      continue;
    }
    std::optional<UUID> owner = UUID::fromString(item[0].get<std::string>());
    std::optional<UUID> device = UUID::fromString(item[2].get<std::string>());
    if (owner && device) owners.emplace(*owner, RecordStamp{item[1].get<std::int64_t>(), *device});
  }
  return owners;
}

void MirrorBookkeeping::setOwnersAwaited(const std::map<UUID, RecordStamp>& owners) {
  if (owners.empty()) {
    context_.setMetadataValue(kOwnersAwaitedKey, std::nullopt);
    return;
  }
  nlohmann::json json = nlohmann::json::array();
  for (const auto& [owner, stamp] : owners)
    json.push_back({owner.uuidString(), stamp.clock, stamp.device.uuidString()});
  context_.setMetadataValue(kOwnersAwaitedKey, json.dump());
}

// "mirror.owed.<record>" holds the record's entity.
Result<std::map<UUID, std::string>> MirrorBookkeeping::owedRecords() const {
  Result<std::map<std::string, std::string>> stored = context_.metadataValues(kOwedPrefix);
  if (!stored) return stored.error();
  std::map<UUID, std::string> owed;
  for (auto& [key, entity] : *stored) {
    if (std::optional<UUID> record = UUID::fromString(std::string_view(key).substr(kOwedPrefix.size())))
      owed.emplace(*record, std::move(entity));
  }
  return owed;
}

void MirrorBookkeeping::settle(const UUID& record) {
  context_.setMetadataValue(kOwedPrefix + record.uuidString(), std::nullopt);
}

Result<HeldEntries> MirrorBookkeeping::heldEntries(std::size_t limit, std::size_t byteLimit) {
  Result<MetadataPage> stored = context_.metadataValues(MetadataRange{kHeldPrefix, limit, byteLimit});
  if (!stored) return stored.error();
  HeldEntries held;
  held.entries.reserve(stored->values.size());
  for (auto& [key, line] : stored->values) {
    if (std::optional<HeldEntry> entry = heldEntryFrom(key, std::move(line))) {
      held.entries.push_back(std::move(*entry));
    } else {
      // Passed over, it would take its place in every later step.
      context_.setMetadataValue(key, std::nullopt);
      ++held.unreadableKeys;
    }
  }
  if (stored->nextKey) {
    // A next key that cannot be read has the next step start at once, and drop it.
    std::optional<HeldEntry> next = heldEntryFrom(*stored->nextKey, std::string());
    held.nextClock = next ? next->stamp.clock : 0;
  }
  return held;
}

void MirrorBookkeeping::hold(const HeldEntry& entry) {
  context_.setMetadataValue(heldKey(entry), entry.line);
}

void MirrorBookkeeping::release(const HeldEntry& entry) {
  context_.setMetadataValue(heldKey(entry), std::nullopt);
}

Result<std::optional<std::int64_t>> MirrorBookkeeping::earliestHeld() const {
  Result<std::optional<std::string>> stored = context_.metadataValue(kEarliestHeldKey);
  if (!stored) return stored.error();
  if (!*stored) return std::optional<std::int64_t>();
  // An unreadable value makes the next import look at every held entry, and write it anew.
  return std::optional<std::int64_t>(mirror_detail::decimalNumber<std::int64_t>(**stored).value_or(0));
}

void MirrorBookkeeping::setEarliestHeld(std::optional<std::int64_t> clock) {
  context_.setMetadataValue(kEarliestHeldKey, clock ? std::optional(std::to_string(*clock)) : std::nullopt);
}

}  // namespace platform
