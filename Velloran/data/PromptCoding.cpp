#include "Velloran/data/PromptCoding.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Velloran/data/KeyedJsonDecoder.h"

namespace velloran {

using data_detail::Json;
using data_detail::KeyedJsonDecoder;

namespace {

// ---- Encoding ---------------------------------------------------------------------------------

Json uuidJson(const platform::UUID& uuid) {
  return uuid.uuidString();
}
Json dateJson(platform::Date date) {
  return date.secondsSinceReferenceDate;
}

template <class T, class ToJson>
Json arrayJson(const std::vector<T>& elements, ToJson toJson) {
  Json array = Json::array();
  for (const T& element : elements) array.push_back(toJson(element));
  return array;
}

// Written in key order, so equal maps give the same text whatever order they hold their entries in.
Json parametersJson(const PromptParameters& parameters) {
  std::vector<const PromptParameters::value_type*> entries;
  for (const auto& entry : parameters) entries.push_back(&entry);
  std::ranges::sort(entries, {}, [](const auto* entry) { return entry->first; });
  Json object = Json::object();
  for (const auto* entry : entries) object[entry->first] = entry->second;
  return object;
}

Json versionJson(const PromptVersion& version) {
  Json json = Json::object();
  json["id"] = uuidJson(version.id);
  json["promptRef"] = uuidJson(version.promptRef);
  json["content"] = version.content;
  json["notes"] = version.notes;
  json["versionNumber"] = version.versionNumber;
  json["createdAt"] = dateJson(version.createdAt);
  return json;
}

Json runJson(const PromptRun& run) {
  Json json = Json::object();
  json["id"] = uuidJson(run.id);
  json["promptRef"] = uuidJson(run.promptRef);
  if (run.versionRef) json["versionRef"] = uuidJson(*run.versionRef);
  json["input"] = run.input;
  json["output"] = run.output;
  json["model"] = run.model;
  json["parameters"] = parametersJson(run.parameters);
  json["duration"] = run.duration;
  json["createdAt"] = dateJson(run.createdAt);
  return json;
}

Json snippetJson(const Snippet& snippet) {
  Json json = Json::object();
  json["id"] = uuidJson(snippet.id);
  json["title"] = snippet.title;
  json["content"] = snippet.content;
  json["tags"] = snippet.tags;
  json["isFavorite"] = snippet.isFavorite;
  json["createdAt"] = dateJson(snippet.createdAt);
  return json;
}

Json smartFilterJson(const SmartFilter& filter) {
  Json json = Json::object();
  json["id"] = uuidJson(filter.id);
  json["title"] = filter.title;
  json["predicateJSON"] = filter.predicateJSON;
  json["createdAt"] = dateJson(filter.createdAt);
  return json;
}

Json promptJson(const Prompt& prompt) {
  Json json = Json::object();
  json["id"] = uuidJson(prompt.id);
  json["title"] = prompt.title;
  json["type"] = prompt.type.rawValue();
  json["tags"] = prompt.tags;
  json["isSystem"] = prompt.isSystem;
  json["createdAt"] = dateJson(prompt.createdAt);
  json["updatedAt"] = dateJson(prompt.updatedAt);
  json["versions"] = arrayJson(prompt.versions, versionJson);
  json["runs"] = arrayJson(prompt.runs, runJson);
  json["snippets"] = arrayJson(prompt.snippets, snippetJson);
  return json;
}

platform::Error invalidValue(std::string description) {
  return platform::Error(std::string(kCodingErrorDomain), CodingErrorCode::invalidValue,
                         std::move(description));
}

bool holdsNonFiniteNumber(const Json& json) {
  if (json.is_number_float()) return !std::isfinite(json.get<double>());
  if (!json.is_structured()) return false;
  return std::ranges::any_of(json, holdsNonFiniteNumber);
}

// JSON writes NaN and the infinities as null and cannot write ill-formed UTF-8 at all: either way the
// document would not read back as the value, so it is refused here rather than when it is written.
platform::Result<Json> checkedDocument(Json json) {
  if (holdsNonFiniteNumber(json))
    return invalidValue("A number is NaN or infinite, which JSON cannot represent.");
  try {
    (void)json.dump();
  } catch (const Json::type_error&) {
    return invalidValue("A string is not valid UTF-8.");
  }
  return json;
}

// ---- Decoding ---------------------------------------------------------------------------------
// Braced initialisers evaluate their elements left to right, so each record reads its keys in field
// order and the failure reported is the first one in that order.

PromptVersion decodeVersion(KeyedJsonDecoder& in) {
  return PromptVersion{in.uuid("id"),      in.uuid("promptRef"),        in.string("content"),
                       in.string("notes"), in.integer("versionNumber"), in.date("createdAt")};
}

PromptParameters decodeParameters(KeyedJsonDecoder& in, std::string_view key) {
  PromptParameters parameters;
  // Two canonically equivalent keys are one entry; the later one's value wins.
  for (auto& [name, value] : in.stringPairs(key))
    parameters.insert_or_assign(std::move(name), std::move(value));
  return parameters;
}

PromptRun decodeRun(KeyedJsonDecoder& in) {
  return PromptRun{
      in.uuid("id"),       in.uuid("promptRef"), in.optionalUUID("versionRef"),      in.string("input"),
      in.string("output"), in.string("model"),   decodeParameters(in, "parameters"), in.number("duration"),
      in.date("createdAt")};
}

Snippet decodeSnippet(KeyedJsonDecoder& in) {
  return Snippet{in.uuid("id"),      in.string("title"),       in.string("content"),
                 in.strings("tags"), in.boolean("isFavorite"), in.date("createdAt")};
}

SmartFilter decodeSmartFilter(KeyedJsonDecoder& in) {
  return SmartFilter{in.uuid("id"), in.string("title"), in.string("predicateJSON"), in.date("createdAt")};
}

Prompt decodePrompt(KeyedJsonDecoder& in) {
  return Prompt{in.uuid("id"),
                in.string("title"),
                in.parsedString<PromptType>("type", PromptType::fromRawValue, "PromptType"),
                in.strings("tags"),
                in.boolean("isSystem"),
                in.date("createdAt"),
                in.date("updatedAt"),
                in.objects<PromptVersion>("versions", decodeVersion),
                in.objects<PromptRun>("runs", decodeRun),
                in.objects<Snippet>("snippets", decodeSnippet)};
}

template <class T>
platform::Result<T> decodeRecord(const Json& json, T (*decodeOne)(KeyedJsonDecoder&)) {
  KeyedJsonDecoder in(json);
  if (in.failed()) return in.error();
  T value = decodeOne(in);
  if (in.failed()) return in.error();
  return value;
}

}  // namespace

platform::Result<Json> encodeJson(const Prompt& prompt) {
  return checkedDocument(promptJson(prompt));
}
platform::Result<Json> encodeJson(const PromptVersion& version) {
  return checkedDocument(versionJson(version));
}
platform::Result<Json> encodeJson(const PromptRun& run) {
  return checkedDocument(runJson(run));
}
platform::Result<Json> encodeJson(const Snippet& snippet) {
  return checkedDocument(snippetJson(snippet));
}
platform::Result<Json> encodeJson(const SmartFilter& filter) {
  return checkedDocument(smartFilterJson(filter));
}
platform::Result<Json> encodeJson(PromptType type) {
  return Json(type.rawValue());
}

template <>
platform::Result<Prompt> decodeJson<Prompt>(const Json& json) {
  return decodeRecord(json, decodePrompt);
}
template <>
platform::Result<PromptVersion> decodeJson<PromptVersion>(const Json& json) {
  return decodeRecord(json, decodeVersion);
}
template <>
platform::Result<PromptRun> decodeJson<PromptRun>(const Json& json) {
  return decodeRecord(json, decodeRun);
}
template <>
platform::Result<Snippet> decodeJson<Snippet>(const Json& json) {
  return decodeRecord(json, decodeSnippet);
}
template <>
platform::Result<SmartFilter> decodeJson<SmartFilter>(const Json& json) {
  return decodeRecord(json, decodeSmartFilter);
}
template <>
platform::Result<PromptType> decodeJson<PromptType>(const Json& json) {
  if (!json.is_string()) return data_detail::typeMismatchError("a string", json, {});
  const auto text = json.get<std::string>();
  if (auto type = PromptType::fromRawValue(text)) return *type;
  return data_detail::dataCorruptedError("cannot initialize PromptType from invalid value \"" + text + "\"",
                                         {});
}

template <class T>
platform::Result<std::string> encodeJsonText(const T& value) {
  platform::Result<Json> json = encodeJson(value);
  if (!json) return json.error();
  return json->dump();
}

template <class T>
platform::Result<T> decodeJsonText(std::string_view text) {
  Json json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return data_detail::dataCorruptedError("the given data is not valid JSON", {});
  return decodeJson<T>(json);
}

template platform::Result<std::string> encodeJsonText(const Prompt&);
template platform::Result<std::string> encodeJsonText(const PromptVersion&);
template platform::Result<std::string> encodeJsonText(const PromptRun&);
template platform::Result<std::string> encodeJsonText(const Snippet&);
template platform::Result<std::string> encodeJsonText(const SmartFilter&);
template platform::Result<std::string> encodeJsonText(const PromptType&);
template platform::Result<Prompt> decodeJsonText(std::string_view);
template platform::Result<PromptVersion> decodeJsonText(std::string_view);
template platform::Result<PromptRun> decodeJsonText(std::string_view);
template platform::Result<Snippet> decodeJsonText(std::string_view);
template platform::Result<SmartFilter> decodeJsonText(std::string_view);
template platform::Result<PromptType> decodeJsonText(std::string_view);

}  // namespace velloran
