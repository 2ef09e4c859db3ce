#pragma once
// Header fields of a request or response, kept in the order they were added. Names compare without
// regard to case ("Content-Type" and "content-type" are one field), as HTTP wants; values are kept
// as given. A plain value type.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class HttpHeaders {
 public:
  using Field = std::pair<std::string, std::string>;

  HttpHeaders() = default;
  HttpHeaders(std::initializer_list<Field> fields);

  // Replaces every field of that name with one field, where the first of them stood (at the end
  // when there was none).
  void set(std::string_view name, std::string value);
  // Appends a field, keeping others of the same name.
  void add(std::string name, std::string value);
  void remove(std::string_view name);

  // The first field of that name.
  std::optional<std::string> get(std::string_view name) const;
  bool contains(std::string_view name) const { return get(name).has_value(); }

  const std::vector<Field>& fields() const { return fields_; }
  bool empty() const { return fields_.empty(); }

  friend bool operator==(const HttpHeaders&, const HttpHeaders&) = default;

 private:
  std::vector<Field> fields_;
};

// True when `a` and `b` are the same header name.
bool sameHeaderName(std::string_view a, std::string_view b);

}  // namespace platform
