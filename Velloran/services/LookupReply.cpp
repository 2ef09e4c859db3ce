#include "Velloran/services/LookupReply.h"

#include <cmath>

#include "Velloran/data/PromptCoding.h"
#include "platform/json/Json.h"
#include "platform/text/Characters.h"

namespace velloran {
namespace {

using platform::Value;

std::string_view kindName(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Null:
      return "null";
    case Value::Kind::Bool:
      return "a bool";
    case Value::Kind::Integer:
    case Value::Kind::Double:
      return "a number";
    case Value::Kind::String:
      return "a string";
    case Value::Kind::Array:
      return "an array";
    case Value::Kind::Dictionary:
      return "an object";
    case Value::Kind::Bytes:
    case Value::Kind::Date:
      break;
  }
  return "an unreadable value";
}

platform::Error codingError(std::int64_t code, std::string description) {
  return platform::Error(std::string(kCodingErrorDomain), code, std::move(description));
}

platform::Error typeMismatch(std::string_view expected, const Value& found, const std::string& path) {
  return codingError(CodingErrorCode::typeMismatch, "Expected " + std::string(expected) + " at " + path +
                                                        " but found " + std::string(kindName(found)) + ".");
}

// Reads the members of one object; the first problem wins and is kept in `failure`.
class EntryReader {
 public:
  EntryReader(const platform::Dictionary& object, std::string path, std::optional<platform::Error>& failure)
      : object_(object), path_(std::move(path)), failure_(failure) {}

  std::string requiredString(std::string_view key) {
    const Value* value = required(key);
    if (!value) return {};
    if (const std::string* text = value->asString()) return *text;
    fail(typeMismatch("a string", *value, pathTo(key)));
    return {};
  }

  std::int64_t requiredInteger(std::string_view key) {
    const Value* value = required(key);
    if (!value) return 0;
    if (const std::int64_t* integer = value->asInteger()) return *integer;
    if (const double* number = value->asDouble()) {
      if (std::trunc(*number) == *number && *number >= -0x1p63 && *number < 0x1p63) {
        return static_cast<std::int64_t>(*number);
      }
      fail(codingError(CodingErrorCode::dataCorrupted, "Data corrupted at " + pathTo(key) + ": the number " +
                                                           value->description() +
                                                           " is not a 64-bit integer."));
      return 0;
    }
    fail(typeMismatch("a number", *value, pathTo(key)));
    return 0;
  }

  // Absent and null both read as no value.
  std::optional<std::string> optionalString(std::string_view key) {
    const Value* value = object_.count(key) ? &object_.find(key)->second : nullptr;
    if (!value || value->isNull()) return std::nullopt;
    if (const std::string* text = value->asString()) return *text;
    fail(typeMismatch("a string", *value, pathTo(key)));
    return std::nullopt;
  }

 private:
  const Value* required(std::string_view key) {
    const auto found = object_.find(key);
    if (found == object_.end()) {
      fail(codingError(CodingErrorCode::keyNotFound,
                       "No value associated with key \"" + std::string(key) + "\" at " + path_ + "."));
      return nullptr;
    }
    return &found->second;
  }

  std::string pathTo(std::string_view key) const { return path_ + "." + std::string(key); }
  void fail(platform::Error error) {
    if (!failure_) failure_ = std::move(error);
  }

  const platform::Dictionary& object_;
  std::string path_;
  std::optional<platform::Error>& failure_;
};

LookupEntry readEntry(EntryReader& reader) {
  LookupEntry entry;
  entry.trackId = reader.requiredInteger("trackId");
  entry.trackName = reader.requiredString("trackName");
  entry.subtitle = reader.optionalString("subtitle");
  entry.primaryGenreName = reader.optionalString("primaryGenreName");
  entry.sellerName = reader.optionalString("sellerName");
  entry.artworkUrl512 = reader.optionalString("artworkUrl512");
  entry.artworkUrl100 = reader.optionalString("artworkUrl100");
  entry.trackViewUrl = reader.optionalString("trackViewUrl");
  return entry;
}

std::optional<platform::Url> parsedURL(const std::optional<std::string>& text) {
  return text ? platform::Url::parse(*text) : std::nullopt;
}

// The trimmed text when it is not empty.
std::optional<std::string> meaningful(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::string trimmedText = platform::trimmed(*text);
  if (trimmedText.empty()) return std::nullopt;
  return trimmedText;
}

}  // namespace

platform::Result<LookupResponse> decodeLookupResponse(std::string_view body) {
  platform::Result<Value> parsed = platform::parseJson(body);
  if (!parsed.ok()) {
    platform::Error error = codingError(CodingErrorCode::dataCorrupted, "The given data was not valid JSON.");
    return error.causedBy(parsed.error());
  }
  const platform::Dictionary* top = parsed->asDictionary();
  if (!top) return typeMismatch("an object", *parsed, "the top level");

  const auto results = top->find("results");
  if (results == top->end()) {
    return codingError(CodingErrorCode::keyNotFound, "No value associated with key \"results\".");
  }
  const platform::Array* entries = results->second.asArray();
  if (!entries) return typeMismatch("an array", results->second, "results");

  LookupResponse response;
  response.results.reserve(entries->size());
  std::optional<platform::Error> failure;
  for (std::size_t index = 0; index < entries->size() && !failure; ++index) {
    const std::string path = "results[" + std::to_string(index) + "]";
    const platform::Dictionary* object = (*entries)[index].asDictionary();
    if (!object) return typeMismatch("an object", (*entries)[index], path);
    EntryReader reader(*object, path, failure);
    response.results.push_back(readEntry(reader));
  }
  if (failure) return *failure;
  return response;
}

std::optional<AppStoreApp> makeAppStoreApp(const LookupEntry& entry) {
  std::optional<platform::Url> storePage = parsedURL(entry.trackViewUrl);
  if (!storePage) return std::nullopt;

  AppStoreApp app;
  app.id = entry.trackId;
  app.name = entry.trackName;
  app.subtitle =
      meaningful(entry.subtitle).value_or(meaningful(entry.sellerName).value_or(kLookupFallbackSubtitle));
  app.genre = entry.primaryGenreName.value_or(kLookupFallbackGenre);
  app.artworkURL = parsedURL(entry.artworkUrl512);
  if (!app.artworkURL) app.artworkURL = parsedURL(entry.artworkUrl100);
  app.appStoreURL = std::move(storePage);
  return app;
}

}  // namespace velloran
