#include "platform/net/HttpHeaders.h"

#include <algorithm>

namespace platform {

bool sameHeaderName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

HttpHeaders::HttpHeaders(std::initializer_list<Field> fields) {
  for (const auto& [name, value] : fields) add(name, value);
}

void HttpHeaders::set(std::string_view name, std::string value) {
  auto first = std::find_if(fields_.begin(), fields_.end(),
                            [&](const Field& f) { return sameHeaderName(f.first, name); });
  if (first == fields_.end()) {
    fields_.emplace_back(std::string(name), std::move(value));
    return;
  }
  first->second = std::move(value);
  fields_.erase(std::remove_if(std::next(first), fields_.end(),
                               [&](const Field& f) { return sameHeaderName(f.first, name); }),
                fields_.end());
}

void HttpHeaders::add(std::string name, std::string value) {
  fields_.emplace_back(std::move(name), std::move(value));
}

void HttpHeaders::remove(std::string_view name) {
  std::erase_if(fields_, [&](const Field& f) { return sameHeaderName(f.first, name); });
}

std::optional<std::string> HttpHeaders::get(std::string_view name) const {
  for (const auto& [fieldName, value] : fields_) {
    if (sameHeaderName(fieldName, name)) return value;
  }
  return std::nullopt;
}

}  // namespace platform
