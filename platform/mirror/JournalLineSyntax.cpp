#include "platform/mirror/JournalLineSyntax.h"

#include <nlohmann/json.hpp>

namespace platform::mirror_detail {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kFields = "fields";

// Receives the parser's events. Depth 1 is the line's object, depth 2 the object (or array) of one
// of its members; only the members of "fields" are taken from there, nothing from deeper down.
class LineReader {
 public:
  explicit LineReader(LineSyntax& syntax) : syntax_(syntax) {}

  bool null() { return take(nullptr); }
  bool boolean(bool value) { return take(value); }
  bool number_integer(Json::number_integer_t value) { return take(std::int64_t{value}); }
  bool number_unsigned(Json::number_unsigned_t value) { return take(std::uint64_t{value}); }
  bool number_float(Json::number_float_t value, const Json::string_t&) { return take(double{value}); }
  bool string(Json::string_t& value) { return take(std::move(value)); }
  bool binary(Json::binary_t&) { return false; }  // JSON text holds none

  bool start_object(std::size_t) {
    if (depth_ == 0) {
      depth_ = 1;
      return true;
    }
    if (depth_ == 1 && key_ == kFields) {
      syntax_.fields.members.clear();
      inFields_ = true;
    }
    take(Nested{true});
    ++depth_;
    return true;
  }
  bool start_array(std::size_t) {
    if (depth_ == 0) return false;
    take(Nested{false});
    ++depth_;
    return true;
  }
  bool end_object() { return end(); }
  bool end_array() { return end(); }
  bool key(Json::string_t& name) {
    if (depth_ == 1 || (depth_ == 2 && inFields_)) key_ = std::move(name);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

 private:
  bool take(LineValue value) {
    if (depth_ == 0) return false;  // a line that is a bare value
    if (depth_ == 1) {
      syntax_.top.members.emplace_back(key_, std::move(value));
    } else if (depth_ == 2 && inFields_) {
      syntax_.fields.members.emplace_back(key_, std::move(value));
    }
    return true;
  }
  bool end() {
    if (--depth_ == 1) inFields_ = false;
    return true;
  }

  LineSyntax& syntax_;
  int depth_ = 0;
  bool inFields_ = false;
  std::string key_;
};

}  // namespace

const LineValue* LineMembers::find(std::string_view name) const {
  for (auto member = members.rbegin(); member != members.rend(); ++member) {
    if (member->first == name) return &member->second;
  }
  return nullptr;
}

std::optional<LineSyntax> readLineSyntax(std::string_view line) {
  LineSyntax syntax;
  LineReader reader(syntax);
  if (!Json::sax_parse(line.begin(), line.end(), &reader)) return std::nullopt;
  return syntax;
}

}  // namespace platform::mirror_detail
