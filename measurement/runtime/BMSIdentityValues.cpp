#include "measurement/runtime/BMSIdentityValues.h"

#include <algorithm>
#include <charconv>

#include "platform/identity/UUID.h"

namespace beacon {

std::int64_t libraryVersionFromString(std::string_view version) {
  if (version.size() < 4) return 0;
  const std::string_view leading = version.substr(0, version.size() - 3);
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(leading.data(), leading.data() + leading.size(), number);
  return error == std::errc() && end == leading.data() + leading.size() ? number : 0;
}

AppVersionFields numericFieldsFromAppVersion(std::string_view version) {
  AppVersionFields fields;
  std::size_t start = 0;
  while (start <= version.size()) {
    const std::size_t dot = std::min(version.find('.', start), version.size());
    const std::string_view piece = version.substr(start, dot - start);
    start = dot + 1;
    if (piece.empty()) continue;
    std::int64_t number = 0;
    for (const char c : piece) {
      if (c < '0' || c > '9') {
        fields.hadNonNumericCharacters = true;
        continue;
      }
      // Saturates instead of overflowing on absurdly long pieces.
      const int digit = c - '0';
      number = number > (INT64_MAX - digit) / 10 ? INT64_MAX : number * 10 + digit;
    }
    fields.numbers.push_back(number);
  }
  return fields;
}

std::string randomAppInstanceID(platform::RandomSource& random) {
  std::string id = platform::UUID::random(random).uuidString();
  std::erase(id, '-');
  return id;
}

}  // namespace beacon
