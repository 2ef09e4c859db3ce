#include "Velloran/persistence/PromptObjects.h"

#include <algorithm>
#include <set>

#include "Velloran/data/VersionStamps.h"
#include "Velloran/persistence/VelloranModel.h"
#include "platform/json/Json.h"

namespace velloran {
namespace {

using platform::ManagedObject;

// The readers below take the attribute values of one object by key, from a ManagedObject or from
// values read without one; each key is asked for once, and its value may be moved out.
template <class Lookup>
std::optional<PromptVersion> readVersion(const Lookup& value, const platform::UUID& promptId) {
  std::optional<platform::UUID> id = value(model::kId).template take<platform::UUID>();
  std::optional<std::string> content = value(model::kContent).template take<std::string>();
  std::optional<std::string> notes = value(model::kNotes).template take<std::string>();
  // A stored number outside 32 bits reads as of another kind, so it cannot slip through widened.
  std::optional<std::int64_t> number = value(model::kVersionNumber).template take<std::int64_t>();
  std::optional<platform::Date> createdAt = value(model::kCreatedAt).template take<platform::Date>();
  if (!id || !content || !notes || !number || !createdAt) return std::nullopt;
  return PromptVersion{*id, promptId, std::move(*content), std::move(*notes), *number, *createdAt};
}

template <class Lookup>
std::optional<Prompt> readPromptFrom(const Lookup& value) {
  std::optional<platform::UUID> id = value(model::kId).template take<platform::UUID>();
  std::optional<std::string> title = value(model::kTitle).template take<std::string>();
  std::optional<std::string> typeText = value(model::kType).template take<std::string>();
  std::optional<PromptType> type = typeText ? PromptType::fromRawValue(*typeText) : std::nullopt;
  std::optional<platform::Bytes> tagData = value(model::kTags).template take<platform::Bytes>();
  std::optional<platform::Date> createdAt = value(model::kCreatedAt).template take<platform::Date>();
  std::optional<platform::Date> updatedAt = value(model::kUpdatedAt).template take<platform::Date>();
  if (!id || !title || !type || !tagData || !createdAt || !updatedAt) return std::nullopt;
  return Prompt{*id,
                std::move(*title),
                *type,
                decodeTags(*tagData).value_or(std::vector<std::string>{}),
                value(model::kIsSystem).template take<bool>().value_or(false),
                *createdAt,
                *updatedAt,
                {},
                {},
                {}};
}

// The attributes of a ManagedObject, by key.
auto objectLookup(const ManagedObject& object) {
  return [&object](std::string_view key) { return object.value(key); };
}

// The values read for `keys`, by key, each moved out as it is asked for.
auto valuesLookup(platform::StoredValues& values, const std::vector<std::string>& keys) {
  return [&values, &keys](std::string_view key) {
    for (std::size_t index = 0; index < keys.size(); ++index) {
      if (keys[index] == key) return std::move(values.values.at(index));
    }
    return platform::AttributeRead::missing();
  };
}

// The order every machine gives a prompt's versions: by when each was written (its creation time),
// then by id. Both travel with the version unchanged, so machines that hold the same versions agree
// on one order however the versions reached them, and the newest is the current one. The stored
// number, which each machine rewrites as versions arrive, decides only between two objects of one
// version, which are one once read.
bool writtenBefore(const PromptVersion& a, const PromptVersion& b) {
  if (a.createdAt.secondsSinceReferenceDate != b.createdAt.secondsSinceReferenceDate)
    return a.createdAt.secondsSinceReferenceDate < b.createdAt.secondsSinceReferenceDate;
  if (a.id != b.id) return a.id < b.id;
  return a.versionNumber < b.versionNumber;
}

// The number a version shows after the one before it showed `previous` (none for the first): its
// own, unless that does not come after `previous`. Versions numbered in order keep their numbers;
// two that share one, or one that came to stand after a higher one, move up.
std::int64_t numberAfter(const std::optional<std::int64_t>& previous, std::int64_t own) {
  return previous && own <= *previous ? *previous + 1 : own;
}

// The versions in that order and so numbered. Two objects of one version (a store written before
// versions were one record each) are one.
void sortAndMergeVersions(std::vector<PromptVersion>& versions) {
  std::ranges::sort(versions, writtenBefore);
  std::vector<platform::UUID> seen;
  std::erase_if(versions, [&seen](const PromptVersion& version) {
    if (std::ranges::find(seen, version.id) != seen.end()) return true;
    seen.push_back(version.id);
    return false;
  });
  std::optional<std::int64_t> previous;
  for (PromptVersion& version : versions)
    previous = version.versionNumber = numberAfter(previous, version.versionNumber);
}

// A new object named `recordName` when no object of the entity has that name yet, else with a
// fresh name: the name makes the object the same record on every machine.
ManagedObject insertNamed(platform::ManagedObjectContext& context, std::string_view entity,
                          const platform::UUID& recordName, platform::Result<void>& failure) {
  platform::Result<std::optional<ManagedObject>> taken = context.objectWithRecordName(entity, recordName);
  if (!taken) failure = taken.error();
  const bool free = taken.ok() && !*taken;
  return context.insertNewObject(entity, free ? std::optional(recordName) : std::nullopt);
}

// The version's fields, stamped `createdAt`: a version's stamp is its place in the order, given once
// by the store (stampAfter) and kept from then on.
void writeVersionFields(ManagedObject& object, const PromptVersion& version, const platform::UUID& promptId,
                        platform::Date createdAt) {
  object.setValue(model::kId, version.id);
  object.setValue(model::kPromptRef, promptId);
  object.setValue(model::kContent, version.content);
  object.setValue(model::kNotes, version.notes);
  object.setValue(model::kVersionNumber, version.versionNumber);
  object.setValue(model::kCreatedAt, createdAt);
}

// The newest stamp among a prompt's version objects; none when none has one.
std::optional<platform::Date> newestStamp(const std::vector<ManagedObject>& members) {
  std::optional<platform::Date> newest;
  for (const ManagedObject& member : members) {
    if (member.isDeleted()) continue;
    std::optional<platform::Date> stamp = member.value(model::kCreatedAt).as<platform::Date>();
    if (stamp && (!newest || *newest < *stamp)) newest = stamp;
  }
  return newest;
}

}  // namespace

platform::Result<platform::Bytes> encodeTags(const std::vector<std::string>& tags) {
  platform::Array array(tags.begin(), tags.end());
  platform::Result<std::string> text = platform::writeJson(platform::Value(std::move(array)));
  if (!text) return text.error();
  return platform::Bytes(text->begin(), text->end());
}

std::optional<std::vector<std::string>> decodeTags(const platform::Bytes& data) {
  platform::Result<platform::Value> parsed =
      platform::parseJson(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!parsed || !parsed->isArray()) return std::nullopt;
  std::vector<std::string> tags;
  for (const platform::Value& element : *parsed->asArray()) {
    if (!element.isString()) return std::nullopt;
    tags.push_back(*element.asString());
  }
  return tags;
}

const std::vector<std::string>& promptFieldKeys() {
  static const std::vector<std::string> keys{std::string(model::kId),       std::string(model::kTitle),
                                             std::string(model::kType),     std::string(model::kTags),
                                             std::string(model::kIsSystem), std::string(model::kCreatedAt),
                                             std::string(model::kUpdatedAt)};
  return keys;
}

const std::vector<std::string>& versionFieldKeys() {
  static const std::vector<std::string> keys{std::string(model::kId), std::string(model::kContent),
                                             std::string(model::kNotes), std::string(model::kVersionNumber),
                                             std::string(model::kCreatedAt)};
  return keys;
}

std::optional<Prompt> readPromptFields(const ManagedObject& object) {
  return readPromptFrom(objectLookup(object));
}

std::optional<Prompt> readPromptFields(platform::StoredValues& values) {
  return readPromptFrom(valuesLookup(values, promptFieldKeys()));
}

std::vector<PromptVersion> readVersions(const std::vector<ManagedObject>& members,
                                        const platform::UUID& promptId) {
  std::vector<PromptVersion> versions;
  versions.reserve(members.size());
  for (const ManagedObject& member : members) {
    if (std::optional<PromptVersion> version = readVersion(objectLookup(member), promptId))
      versions.push_back(std::move(*version));
  }
  sortAndMergeVersions(versions);
  return versions;
}

std::vector<PromptVersion> readVersions(std::vector<platform::StoredValues>& members,
                                        const platform::UUID& promptId) {
  std::vector<PromptVersion> versions;
  versions.reserve(members.size());
  for (platform::StoredValues& member : members) {
    if (std::optional<PromptVersion> version =
            readVersion(valuesLookup(member, versionFieldKeys()), promptId))
      versions.push_back(std::move(*version));
  }
  sortAndMergeVersions(versions);
  return versions;
}

platform::Result<std::optional<Prompt>> readPrompt(const ManagedObject& object) {
  std::optional<Prompt> prompt = readPromptFields(object);
  if (!prompt) return prompt;
  platform::Result<std::vector<ManagedObject>> members = object.relatedObjects(model::kVersions);
  if (!members) return members.error();
  prompt->versions = readVersions(*members, prompt->id);
  return prompt;
}

platform::Result<ManagedObject> findOrCreatePrompt(platform::ManagedObjectContext& context,
                                                   const platform::UUID& id, platform::Date now) {
  platform::Result<std::vector<ManagedObject>> found = context.fetch(platform::FetchRequest{
      std::string(model::kPromptEntity), platform::EqualityPredicate{std::string(model::kId), id}, {}, 1});
  if (!found) return found.error();
  if (!found->empty()) return found->front();

  // Named by the prompt's id, so that two machines that each make the prompt (a version appended to
  // an id that one of them had deleted, say) make one record, not two prompts with one id.
  platform::Result<void> failure;
  ManagedObject prompt = insertNamed(context, model::kPromptEntity, id, failure);
  if (!failure) return failure.error();
  prompt.setValue(model::kId, id);
  prompt.setValue(model::kTitle, std::string());
  prompt.setValue(model::kType, std::string(PromptType(PromptType::system).rawValue()));
  prompt.setValue(model::kTags, encodeTags({}).value());
  prompt.setValue(model::kIsSystem, false);
  prompt.setValue(model::kCreatedAt, now);
  prompt.setValue(model::kUpdatedAt, now);
  return prompt;
}

platform::Result<void> writePromptFields(ManagedObject& object, const Prompt& prompt) {
  platform::Result<platform::Bytes> tags = encodeTags(prompt.tags);
  if (!tags) return tags.error();
  object.setValue(model::kId, prompt.id);
  object.setValue(model::kTitle, prompt.title);
  object.setValue(model::kType, std::string(prompt.type.rawValue()));
  object.setValue(model::kTags, std::move(*tags));
  object.setValue(model::kIsSystem, prompt.isSystem);
  object.setValue(model::kCreatedAt, prompt.createdAt);
  object.setValue(model::kUpdatedAt, prompt.updatedAt);
  return {};
}

namespace {

using ReadableMembers = std::vector<std::pair<PromptVersion, ManagedObject>>;

// The version objects that are not deleted and can be read, each with its value.
ReadableMembers readableMembers(const std::vector<ManagedObject>& members) {
  ReadableMembers readable;
  for (const ManagedObject& member : members) {
    if (member.isDeleted()) continue;
    if (std::optional<PromptVersion> version = readVersion(objectLookup(member), {}))
      readable.emplace_back(std::move(*version), member);
  }
  return readable;
}

// Gives the readable ones among a prompt's version objects the numbers of the shared order, writing
// only the numbers that change.
void renumberMembers(const std::vector<ManagedObject>& members) {
  ReadableMembers readable = readableMembers(members);
  std::ranges::sort(readable, [](const auto& a, const auto& b) { return writtenBefore(a.first, b.first); });
  std::optional<std::int64_t> previous;
  for (auto& [version, object] : readable) {
    previous = numberAfter(previous, version.versionNumber);
    if (*previous != version.versionNumber) object.setValue(model::kVersionNumber, *previous);
  }
}

// The versions of one call to keepVersions in the order they are added: as the order of versions
// would place them with the stamps they would take after `newest` alone, the given number deciding
// between equal ones, then the id.
std::vector<PromptVersion> inTheOrderToAdd(std::vector<PromptVersion> versions,
                                           const std::optional<platform::Date>& newest) {
  std::ranges::sort(versions, [&newest](const PromptVersion& a, const PromptVersion& b) {
    const platform::Date first = stampAfter(newest, a.createdAt);
    const platform::Date second = stampAfter(newest, b.createdAt);
    if (first != second) return first < second;
    if (a.versionNumber != b.versionNumber) return a.versionNumber < b.versionNumber;
    return a.id < b.id;
  });
  return versions;
}

}  // namespace

void stampInNumberOrder(const std::vector<ManagedObject>& members) {
  ReadableMembers readable = readableMembers(members);
  std::ranges::sort(readable, [](const auto& a, const auto& b) {
    const PromptVersion& first = a.first;
    const PromptVersion& second = b.first;
    if (first.versionNumber != second.versionNumber) return first.versionNumber < second.versionNumber;
    if (first.createdAt != second.createdAt) return first.createdAt < second.createdAt;
    return first.id < second.id;
  });
  std::optional<platform::Date> previous;
  for (auto& [version, object] : readable) {
    // An equal stamp is disorder too: between two versions of one stamp the id decides, not the number.
    if (previous && version.createdAt <= *previous) {
      version.createdAt = stampAfter(previous, version.createdAt);
      object.setValue(model::kCreatedAt, version.createdAt);
    }
    previous = version.createdAt;
  }
  renumberMembers(members);
}

platform::Result<void> renumberWrittenPrompts(platform::ManagedObjectContext& context,
                                              const std::vector<ManagedObject>& written) {
  std::vector<ManagedObject> prompts;
  std::set<platform::ObjectID> seen;
  for (const ManagedObject& object : written) {
    std::optional<ManagedObject> prompt;
    if (object.entity().name == model::kPromptEntity) {
      prompt = object;
    } else if (object.entity().name == model::kVersionEntity) {
      prompt = object.relatedObject(model::kPrompt);
    }
    if (prompt && !prompt->isDeleted() && seen.insert(prompt->objectID()).second) prompts.push_back(*prompt);
  }
  // The versions of all of them in a few queries, not one per prompt.
  platform::Result<std::vector<std::vector<ManagedObject>>> members =
      context.relatedObjects(prompts, model::kVersions);
  if (!members) return members.error();
  for (const std::vector<ManagedObject>& versions : *members) renumberMembers(versions);
  return {};
}

platform::Result<void> keepVersions(platform::ManagedObjectContext& context, ManagedObject& prompt,
                                    const std::vector<PromptVersion>& versions,
                                    const platform::UUID& promptId) {
  platform::Result<std::vector<ManagedObject>> members = prompt.relatedObjects(model::kVersions);
  if (!members) return members.error();
  // Whatever the wall clock says, a version added here comes after every version the prompt holds,
  // and after every other one added before it in this call.
  std::optional<platform::Date> newest = newestStamp(*members);
  for (const PromptVersion& version : inTheOrderToAdd(versions, newest)) {
    auto held = std::ranges::find_if(*members, [&version](const ManagedObject& member) {
      return member.value(model::kId).as<platform::UUID>() == version.id;
    });
    if (held != members->end()) {
      // The caller's copy may carry the stamp it gave before the store moved it on.
      const platform::Date stamp =
          held->value(model::kCreatedAt).as<platform::Date>().value_or(version.createdAt);
      writeVersionFields(*held, version, promptId, stamp);
      continue;
    }
    // A version of this id stored elsewhere (detached, or under another prompt) is the same record.
    platform::Result<std::optional<ManagedObject>> stored =
        context.objectWithRecordName(model::kVersionEntity, version.id);
    if (!stored) return stored.error();
    platform::Result<void> failure;
    ManagedObject object = *stored && !(*stored)->isDeleted()
                               ? **stored
                               : insertNamed(context, model::kVersionEntity, version.id, failure);
    if (!failure) return failure;
    newest = stampAfter(newest, version.createdAt);
    writeVersionFields(object, version, promptId, *newest);
    prompt.addRelatedObject(model::kVersions, object);
    members->push_back(object);
  }
  renumberMembers(*members);
  return {};
}

}  // namespace velloran
