#include "Velloran/data/PromptType.h"

#include <array>

namespace velloran {
namespace {

struct CaseNames {
  PromptType::Case value;
  std::string_view rawValue;
  std::string_view displayName;
};

constexpr std::array<CaseNames, 3> kCases{{
    {PromptType::system, "system", "System"},
    {PromptType::user, "user", "User"},
    {PromptType::customRole, "customRole", "Custom Role"},
}};

// namesOf() indexes by the case's value.
static_assert([] {
  for (std::size_t index = 0; index < kCases.size(); ++index) {
    if (kCases[index].value != index) return false;
  }
  return true;
}());

constexpr std::array<PromptType, 2> kOfferedCases{PromptType::system, PromptType::user};

const CaseNames& namesOf(PromptType::Case value) {
  return kCases[static_cast<std::size_t>(value)];
}

}  // namespace

std::optional<PromptType> PromptType::fromRawValue(std::string_view rawValue) {
  for (const CaseNames& names : kCases) {
    if (names.rawValue == rawValue) return PromptType(names.value);
  }
  return std::nullopt;
}

std::span<const PromptType> PromptType::allCases() {
  return kOfferedCases;
}

std::string_view PromptType::rawValue() const {
  return namesOf(value_).rawValue;
}

std::string_view PromptType::displayName() const {
  return namesOf(value_).displayName;
}

}  // namespace velloran
