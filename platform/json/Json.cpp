#include "platform/json/Json.h"

#include <cmath>
#include <limits>

namespace platform {
namespace {

// Deep enough for any real document, shallow enough that the recursive conversion below cannot
// exhaust the stack on hostile input.
constexpr int kMaxDepth = 512;

Error jsonError(std::int64_t code, std::string description, Dictionary userInfo = {}) {
  return Error(std::string(kJsonErrorDomain), code, std::move(description), std::move(userInfo));
}

// Builds a JSON document from a Value, remembering where it is so a refusal can name the entry.
template <class Json>
class JsonBuilder {
 public:
  bool build(const Value& value, Json& out) {
    switch (value.kind()) {
      case Value::Kind::Null:
        out = nullptr;
        return true;
      case Value::Kind::Bool:
        out = *value.asBool();
        return true;
      case Value::Kind::Integer:
        out = *value.asInteger();
        return true;
      case Value::Kind::Double:
        if (!std::isfinite(*value.asDouble())) return fail("JSON cannot hold NaN or infinity");
        out = *value.asDouble();
        return true;
      case Value::Kind::String:
        out = *value.asString();
        return true;
      case Value::Kind::Bytes:
        return fail("JSON has no form for bytes");
      case Value::Kind::Date:
        return fail("JSON has no form for dates");
      case Value::Kind::Array: {
        out = Json::array();
        const Array& array = *value.asArray();
        for (std::size_t i = 0; i < array.size(); ++i) {
          std::size_t mark = path_.size();
          path_ += "[" + std::to_string(i) + "]";
          Json element;
          if (!build(array[i], element)) return false;
          path_.resize(mark);
          out.push_back(std::move(element));
        }
        return true;
      }
      case Value::Kind::Dictionary: {
        out = Json::object();
        for (const auto& [key, element] : *value.asDictionary()) {
          std::size_t mark = path_.size();
          path_ += (path_.empty() ? "" : ".") + key;
          Json member;
          if (!build(element, member)) return false;
          path_.resize(mark);
          out[key] = std::move(member);
        }
        return true;
      }
    }
    return fail("unknown value kind");
  }

  Error failure() const {
    std::string where = path_.empty() ? "the top level" : path_;
    return jsonError(JsonErrorCode::Unrepresentable, failure_ + " (at " + where + ")",
                     Dictionary{{"keyPath", where}});
  }

 private:
  bool fail(std::string reason) {
    failure_ = std::move(reason);
    return false;
  }

  std::string path_;
  std::string failure_;
};

template <class Json>
Result<Json> toDocument(const Value& value) {
  JsonBuilder<Json> builder;
  Json out;
  if (!builder.build(value, out)) return builder.failure();
  return out;
}

template <class Json>
Result<Value> toValue(const Json& json, int depth) {
  if (depth > kMaxDepth) return jsonError(JsonErrorCode::Malformed, "the JSON document is nested too deeply");
  using Type = nlohmann::json::value_t;
  switch (json.type()) {
    case Type::null:
      return Value();
    case Type::boolean:
      return Value(json.template get<bool>());
    case Type::number_integer:
      return Value(json.template get<std::int64_t>());
    case Type::number_unsigned: {
      auto number = json.template get<std::uint64_t>();
      if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Value(static_cast<std::int64_t>(number));
      }
      return Value(static_cast<double>(number));
    }
    case Type::number_float:
      return Value(json.template get<double>());
    case Type::string:
      return Value(json.template get_ref<const std::string&>());
    case Type::array: {
      Array array;
      array.reserve(json.size());
      for (const Json& element : json) {
        Result<Value> converted = toValue(element, depth + 1);
        if (!converted) return converted.error();
        array.push_back(std::move(*converted));
      }
      return Value(std::move(array));
    }
    case Type::object: {
      Dictionary dictionary;
      for (auto member = json.begin(); member != json.end(); ++member) {
        Result<Value> converted = toValue(member.value(), depth + 1);
        if (!converted) return converted.error();
        dictionary.insert_or_assign(member.key(), std::move(*converted));
      }
      return Value(std::move(dictionary));
    }
    case Type::binary:
      return jsonError(JsonErrorCode::Unrepresentable, "binary JSON values have no Value form");
    case Type::discarded:
      return jsonError(JsonErrorCode::Malformed, "the JSON value was discarded");
  }
  return jsonError(JsonErrorCode::Malformed, "unknown JSON value type");
}

}  // namespace

Result<Value> parseJson(std::string_view text) {
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& failure) {
    // The reader's own message quotes the text it last read, which may be a secret of the document
    // (a token cut off mid-reply): only where the text broke is told.
    return jsonError(JsonErrorCode::Malformed,
                     "the text is not a JSON document (at byte " + std::to_string(failure.byte) + ")",
                     Dictionary{{"byteOffset", static_cast<std::int64_t>(failure.byte)}});
  } catch (const nlohmann::json::exception&) {
    // A number too large for a double ("1e400") is reported apart from syntax errors, with the
    // number quoted: it is not shown either.
    return jsonError(JsonErrorCode::Malformed, "the text holds a number beyond the range of a double");
  }
  return toValue(document, 0);
}

Result<std::string> writeJson(const Value& value) {
  Result<nlohmann::json> document = toJson(value);
  if (!document) return document.error();
  try {
    return document->dump();
  } catch (const nlohmann::json::type_error& failure) {
    // The only failure dump() reports is a string that is not valid UTF-8.
    return jsonError(JsonErrorCode::Unrepresentable, failure.what());
  }
}

Result<nlohmann::json> toJson(const Value& value) {
  return toDocument<nlohmann::json>(value);
}
Result<nlohmann::ordered_json> toOrderedJson(const Value& value) {
  return toDocument<nlohmann::ordered_json>(value);
}
Result<Value> fromJson(const nlohmann::json& json) {
  return toValue(json, 0);
}
Result<Value> fromJson(const nlohmann::ordered_json& json) {
  return toValue(json, 0);
}

}  // namespace platform
