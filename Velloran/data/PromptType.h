#pragma once
// The role of a prompt. Its raw value is the text stored and exchanged ("system", "user",
// "customRole"); its display name is shown untranslated on cards, in pickers and in analytics.
//
// Pickers and menus offer only `allCases()` (system and user); customRole is a full value that is
// stored, decoded and shown like the others, but nothing in the interface lets a user choose it.
// A plain value, safe to pass between threads.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace velloran {

class PromptType {
 public:
  enum Case : std::uint8_t { system, user, customRole };

  // The first case, so that a value-initialised record holds a valid type.
  constexpr PromptType() = default;
  constexpr PromptType(Case value) : value_(value) {}
  // Lets a PromptType be switched over and compared with its cases directly.
  constexpr operator Case() const { return value_; }

  // Only the exact raw values; case matters, display names are not raw values.
  static std::optional<PromptType> fromRawValue(std::string_view rawValue);
  // system and user, in that order.
  static std::span<const PromptType> allCases();

  std::string_view rawValue() const;
  std::string_view displayName() const;
  std::string_view id() const { return rawValue(); }

 private:
  Case value_ = system;
};

}  // namespace velloran

template <>
struct std::hash<velloran::PromptType> {
  std::size_t operator()(velloran::PromptType type) const noexcept {
    return std::hash<std::string_view>{}(type.rawValue());
  }
};
