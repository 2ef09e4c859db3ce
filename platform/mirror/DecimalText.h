#pragma once
// Reading the whole, non-negative decimal numbers the mirror keeps as text (bookkeeping values,
// journal positions). Internal to the mirror layer.

#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>

namespace platform::mirror_detail {

// The number when `text` is exactly one non-negative decimal number of that type, else nullopt.
template <class Number>
std::optional<Number> decimalNumber(std::string_view text) {
  Number number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if constexpr (std::is_signed_v<Number>) {
    if (number < 0) return std::nullopt;
  }
  return number;
}

}  // namespace platform::mirror_detail
