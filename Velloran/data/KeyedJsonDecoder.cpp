#include "Velloran/data/KeyedJsonDecoder.h"

#include <cmath>
#include <limits>

#include "Velloran/data/PromptCoding.h"

namespace velloran::data_detail {

std::string_view kindName(const Json& json) {
  switch (json.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a bool";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return "a number";
    case Json::value_t::binary:
    case Json::value_t::discarded:
      break;
  }
  return "an unreadable value";
}

namespace {

std::string placeOf(std::string_view path) {
  return path.empty() ? std::string("the top level") : std::string(path);
}

}  // namespace

platform::Error typeMismatchError(std::string_view expected, const Json& found, std::string_view path) {
  return platform::Error(std::string(kCodingErrorDomain), CodingErrorCode::typeMismatch,
                         "Expected " + std::string(expected) + " at " + placeOf(path) + " but found " +
                             std::string(kindName(found)) + ".");
}

platform::Error dataCorruptedError(std::string_view problem, std::string_view path) {
  return platform::Error(std::string(kCodingErrorDomain), CodingErrorCode::dataCorrupted,
                         "Data corrupted at " + placeOf(path) + ": " + std::string(problem) + ".");
}

KeyedJsonDecoder::KeyedJsonDecoder(const Json& json)
    : KeyedJsonDecoder(json, {}, std::make_shared<std::optional<platform::Error>>()) {}

KeyedJsonDecoder::KeyedJsonDecoder(const Json& json, std::string path, SharedFailure firstError)
    : path_(std::move(path)), firstError_(std::move(firstError)) {
  if (json.is_object()) {
    object_ = &json;
  } else if (!failed()) {
    *firstError_ = typeMismatchError("an object", json, path_);
  }
}

std::string KeyedJsonDecoder::pathTo(std::string_view key) const {
  return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
}

std::string KeyedJsonDecoder::elementPath(std::string_view key, std::size_t index) const {
  return pathTo(key) + "[" + std::to_string(index) + "]";
}

void KeyedJsonDecoder::fail(std::int64_t code, std::string description) {
  if (!failed())
    *firstError_ = platform::Error(std::string(kCodingErrorDomain), code, std::move(description));
}

void KeyedJsonDecoder::failCorrupted(std::string_view key, const std::string& problem) {
  if (!failed()) *firstError_ = dataCorruptedError(problem, pathTo(key));
}

const Json* KeyedJsonDecoder::member(std::string_view key, KindTest hasKind, std::string_view kindName) {
  if (failed()) return nullptr;
  const auto found = object_->find(key);
  if (found == object_->end()) {
    const std::string place = path_.empty() ? std::string() : " at " + path_;
    fail(CodingErrorCode::keyNotFound,
         "No value associated with key \"" + std::string(key) + "\"" + place + ".");
    return nullptr;
  }
  if (!((*found).*hasKind)()) {
    *firstError_ = typeMismatchError(kindName, *found, pathTo(key));
    return nullptr;
  }
  return &*found;
}

std::string KeyedJsonDecoder::string(std::string_view key) {
  const Json* value = member(key, &Json::is_string, "a string");
  return value ? value->get<std::string>() : std::string();
}

bool KeyedJsonDecoder::boolean(std::string_view key) {
  const Json* value = member(key, &Json::is_boolean, "a bool");
  return value && value->get<bool>();
}

std::int64_t KeyedJsonDecoder::integer(std::string_view key) {
  const Json* value = member(key, &Json::is_number, "a number");
  if (!value) return 0;
  if (value->is_number_integer() && !value->is_number_unsigned()) return value->get<std::int64_t>();
  if (value->is_number_unsigned()) {
    const auto unsignedValue = value->get<std::uint64_t>();
    if (unsignedValue <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return static_cast<std::int64_t>(unsignedValue);
    }
  } else {
    // A float holding an integral value in range (3.0) reads as that integer; 2^63 itself does not fit.
    const double number = value->get<double>();
    if (std::trunc(number) == number && number >= -0x1p63 && number < 0x1p63) {
      return static_cast<std::int64_t>(number);
    }
  }
  failCorrupted(key, "the number " + value->dump() + " does not fit a 64-bit integer");
  return 0;
}

double KeyedJsonDecoder::number(std::string_view key) {
  const Json* value = member(key, &Json::is_number, "a number");
  return value ? value->get<double>() : 0.0;
}

platform::Date KeyedJsonDecoder::date(std::string_view key) {
  return platform::Date{number(key)};
}

platform::UUID KeyedJsonDecoder::uuid(std::string_view key) {
  return parsedString<platform::UUID>(key, platform::UUID::fromString, "UUID");
}

std::optional<platform::UUID> KeyedJsonDecoder::optionalUUID(std::string_view key) {
  if (failed()) return std::nullopt;
  const auto found = object_->find(key);
  if (found == object_->end() || found->is_null()) return std::nullopt;
  return uuid(key);
}

std::vector<std::string> KeyedJsonDecoder::strings(std::string_view key) {
  std::vector<std::string> result;
  const Json* array = member(key, &Json::is_array, "an array");
  if (!array) return result;
  result.reserve(array->size());
  for (std::size_t index = 0; index < array->size(); ++index) {
    const Json& element = (*array)[index];
    if (!element.is_string()) {
      *firstError_ = typeMismatchError("a string", element, elementPath(key, index));
      return {};
    }
    result.push_back(element.get<std::string>());
  }
  return result;
}

std::vector<std::pair<std::string, std::string>> KeyedJsonDecoder::stringPairs(std::string_view key) {
  std::vector<std::pair<std::string, std::string>> result;
  const Json* object = member(key, &Json::is_object, "an object");
  if (!object) return result;
  for (const auto& [memberKey, memberValue] : object->items()) {
    if (!memberValue.is_string()) {
      *firstError_ = typeMismatchError("a string", memberValue, pathTo(key) + "." + memberKey);
      return {};
    }
    result.emplace_back(memberKey, memberValue.get<std::string>());
  }
  return result;
}

}  // namespace velloran::data_detail
