#pragma once
// One line of a machine's journal: a record saved with its whole state, or a record deleted.
//
// A line is one JSON object, without line breaks:
//   {"clock": <stamp>, "device": "<machine>", "op": "save" | "delete", "entity": "<entity>",
//    "record": "<record name>", "fields": {...}}
// A deletion of a member (RecordOwners.h) made on its own, not along with its owner's, also holds
// "alone": true; lines without it, those of older versions included, are deletions that went with the
// owner's. Readers that do not know the key pass it over.
// "fields" (saves only) holds every attribute the record had a readable value for, typed by the
// model: UUIDs and texts as strings, binary data as Base64, Booleans, dates as seconds since
// 2001-01-01, integers; null for no value. To-one relationships hold the related record's name or
// null. To-many relationships are not written: each is the inverse of a to-one relationship and
// follows from it.
//
// Lines come from other machines, through folders anyone can write to, so reading checks
// everything against the local model before an entry is accepted: an unknown entity, a value of the
// wrong type, a required attribute that is null (or missing without a default), a 32-bit number out
// of range or a malformed field makes the whole line unreadable (UnreadableEntry). Fields the model
// does not have are ignored, so a machine with a newer model can still be read.
//
// Plain values and pure functions.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/identity/UUID.h"
#include "platform/pstore/AttributeValue.h"
#include "platform/pstore/ManagedObjectModel.h"

namespace platform {

struct RecordFields {
  // By attribute name; nullopt: the attribute holds no value.
  std::map<std::string, std::optional<AttributeValue>, std::less<>> attributes;
  // By to-one relationship name: the related record's name; nullopt: no related object.
  std::map<std::string, std::optional<UUID>, std::less<>> references;

  friend bool operator==(const RecordFields&, const RecordFields&) = default;
};

// Which write of a record wins: the later stamp, and between equal stamps the larger machine. Two
// different lines can still carry one stamp (copies of one disk writing under one name from one
// clock, a damaged journal): RecordState orders those too.
struct RecordStamp {
  std::int64_t clock = 0;
  UUID device;

  friend auto operator<=>(const RecordStamp&, const RecordStamp&) = default;
};

struct JournalEntry {
  enum class Operation { Save, Delete };

  RecordStamp stamp;
  Operation operation = Operation::Save;
  std::string entity;
  UUID record;
  RecordFields fields;  // saves only
  // Deletions of members only: made on its own, so it stands whatever becomes of the owner. A member
  // deleted along with its owner comes back when the owner does (MirrorImport.h).
  bool alone = false;

  friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

// The line, without its line break.
std::string encodeJournalLine(const JournalEntry& entry);
Result<JournalEntry> decodeJournalLine(std::string_view line, const ManagedObjectModel& model);

// A digest of the entry's whole content, from a canonical form of its values: every machine of
// one model computes the same one for a line it decodes, and so does the line's writer for the
// entry it wrote, which the line holds as it is (unless it holds text that is not UTF-8, or a date
// that is not finite, which the line cannot carry). It tells apart different lines under one stamp.
std::uint64_t journalEntryDigest(const JournalEntry& entry);

}  // namespace platform
