#pragma once
// Text of a promise's value or error for CVPPromise::description(): numbers and texts as they are,
// nothing as "(null)", errors as "Error Domain=… Code=… \"…\"", other values by their operator<<
// when they have one.

#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>

#include "platform/error/Error.h"

namespace beacon {
struct CVPUnit;
}

namespace beacon::detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
concept Streamable = requires(std::ostream& out, const T& value) {
  out << value;
};

inline std::string describeError(const platform::Error& error) {
  return "Error Domain=" + error.domain + " Code=" + std::to_string(error.code) + " \"" + error.description +
         "\"";
}

template <class T>
std::string describeValue(const T& value) {
  if constexpr (std::is_same_v<T, CVPUnit>) {
    return "(null)";
  } else if constexpr (IsOptional<T>::value) {
    return value ? describeValue(*value) : std::string("(null)");
  } else if constexpr (std::is_same_v<T, platform::Error>) {
    return describeError(value);
  } else if constexpr (std::is_same_v<T, bool>) {
    return value ? "1" : "0";
  } else if constexpr (Streamable<T>) {
    std::ostringstream text;
    text << value;
    return text.str();
  } else {
    return "<value>";
  }
}

}  // namespace beacon::detail
