#pragma once
// Internal to the prompt data layer: reads the members of one JSON object by key, for the decoders
// in PromptCoding.cpp.
//
// A decoder remembers the first failure and, from then on, answers every read with a default
// value without looking further, so a record can be built in one expression from its reads (in
// field order) and checked once afterwards. Nested objects and array elements get child decoders
// that share the parent's failure and extend its coding path ("versions[2].content"), which the
// error description names.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/error/Error.h"
#include "platform/identity/UUID.h"
#include "platform/value/Value.h"

namespace velloran::data_detail {

using Json = nlohmann::ordered_json;

class KeyedJsonDecoder {
 public:
  // A decoder over a top-level value, which must be an object (a type mismatch otherwise).
  explicit KeyedJsonDecoder(const Json& json);

  bool failed() const { return static_cast<bool>(*firstError_); }
  const platform::Error& error() const { return **firstError_; }

  std::string string(std::string_view key);
  bool boolean(std::string_view key);
  // Integral numbers only; a fractional or out-of-range number is data corrupted.
  std::int64_t integer(std::string_view key);
  double number(std::string_view key);
  platform::Date date(std::string_view key);
  platform::UUID uuid(std::string_view key);
  // Absent or null reads as no value.
  std::optional<platform::UUID> optionalUUID(std::string_view key);
  std::vector<std::string> strings(std::string_view key);
  // The members of an object whose values are all strings, in document order.
  std::vector<std::pair<std::string, std::string>> stringPairs(std::string_view key);

  // A string read through `parse`, which answers an optional; no value is data corrupted.
  template <class T, class Parse>
  T parsedString(std::string_view key, Parse parse, std::string_view typeName) {
    const std::string text = string(key);
    if (failed()) return T{};
    if (auto parsed = parse(text)) return *parsed;
    failCorrupted(key, "cannot initialize " + std::string(typeName) + " from invalid value \"" + text + "\"");
    return T{};
  }

  // An array of objects, each read by `decodeOne(KeyedJsonDecoder&) -> T`.
  template <class T, class DecodeOne>
  std::vector<T> objects(std::string_view key, DecodeOne decodeOne) {
    std::vector<T> result;
    const Json* array = member(key, &Json::is_array, "an array");
    if (!array) return result;
    result.reserve(array->size());
    for (std::size_t index = 0; index < array->size() && !failed(); ++index) {
      KeyedJsonDecoder element((*array)[index], elementPath(key, index), firstError_);
      if (!element.failed()) result.push_back(decodeOne(element));
    }
    return result;
  }

 private:
  using SharedFailure = std::shared_ptr<std::optional<platform::Error>>;
  KeyedJsonDecoder(const Json& json, std::string path, SharedFailure firstError);

  using KindTest = bool (Json::*)() const noexcept;
  // The member under `key` when it has the expected kind; records the failure otherwise.
  const Json* member(std::string_view key, KindTest hasKind, std::string_view kindName);
  std::string pathTo(std::string_view key) const;
  std::string elementPath(std::string_view key, std::size_t index) const;
  void fail(std::int64_t code, std::string description);
  void failCorrupted(std::string_view key, const std::string& problem);

  const Json* object_ = nullptr;
  std::string path_;
  SharedFailure firstError_;
};

// "an object", "a string", "null", ... for failure descriptions.
std::string_view kindName(const Json& json);
// The failure of a top-level value of the wrong kind, or of data that cannot be read.
platform::Error typeMismatchError(std::string_view expected, const Json& found, std::string_view path);
platform::Error dataCorruptedError(std::string_view problem, std::string_view path);

}  // namespace velloran::data_detail
