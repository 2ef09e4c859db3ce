#include "Velloran/persistence/PromptObjects.h"

#include <algorithm>

#include "Velloran/persistence/VelloranModel.h"
#include "platform/json/Json.h"

namespace velloran {
namespace {

using platform::ManagedObject;

std::optional<PromptVersion> readVersion(const ManagedObject& object, const platform::UUID& promptId) {
  std::optional<platform::UUID> id = object.value(model::kId).as<platform::UUID>();
  std::optional<std::string> content = object.value(model::kContent).as<std::string>();
  std::optional<std::string> notes = object.value(model::kNotes).as<std::string>();
  // A stored number outside 32 bits reads as of another kind, so it cannot slip through widened.
  std::optional<std::int64_t> number = object.value(model::kVersionNumber).as<std::int64_t>();
  std::optional<platform::Date> createdAt = object.value(model::kCreatedAt).as<platform::Date>();
  if (!id || !content || !notes || !number || !createdAt) return std::nullopt;
  return PromptVersion{*id, promptId, std::move(*content), std::move(*notes), *number, *createdAt};
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

std::optional<Prompt> readPromptFields(const ManagedObject& object) {
  std::optional<platform::UUID> id = object.value(model::kId).as<platform::UUID>();
  std::optional<std::string> title = object.value(model::kTitle).as<std::string>();
  std::optional<std::string> typeText = object.value(model::kType).as<std::string>();
  std::optional<PromptType> type = typeText ? PromptType::fromRawValue(*typeText) : std::nullopt;
  std::optional<platform::Bytes> tagData = object.value(model::kTags).as<platform::Bytes>();
  std::optional<platform::Date> createdAt = object.value(model::kCreatedAt).as<platform::Date>();
  std::optional<platform::Date> updatedAt = object.value(model::kUpdatedAt).as<platform::Date>();
  if (!id || !title || !type || !tagData || !createdAt || !updatedAt) return std::nullopt;
  return Prompt{*id,
                std::move(*title),
                *type,
                decodeTags(*tagData).value_or(std::vector<std::string>{}),
                object.value(model::kIsSystem).as<bool>().value_or(false),
                *createdAt,
                *updatedAt,
                {},
                {},
                {}};
}

std::vector<PromptVersion> readVersions(const std::vector<ManagedObject>& members,
                                        const platform::UUID& promptId) {
  std::vector<PromptVersion> versions;
  versions.reserve(members.size());
  for (const ManagedObject& member : members) {
    if (std::optional<PromptVersion> version = readVersion(member, promptId))
      versions.push_back(std::move(*version));
  }
  std::ranges::stable_sort(versions, {}, &PromptVersion::versionNumber);
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

  ManagedObject prompt = context.insertNewObject(model::kPromptEntity);
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

ManagedObject insertVersion(platform::ManagedObjectContext& context, const PromptVersion& version,
                            const platform::UUID& promptId) {
  ManagedObject object = context.insertNewObject(model::kVersionEntity);
  object.setValue(model::kId, version.id);
  object.setValue(model::kPromptRef, promptId);
  object.setValue(model::kContent, version.content);
  object.setValue(model::kNotes, version.notes);
  object.setValue(model::kVersionNumber, version.versionNumber);
  object.setValue(model::kCreatedAt, version.createdAt);
  return object;
}

}  // namespace velloran
