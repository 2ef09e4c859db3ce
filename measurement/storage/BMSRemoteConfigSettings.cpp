#include "measurement/storage/BMSRemoteConfigSettings.h"

#include <charconv>
#include <cmath>

namespace beacon::storage {

std::optional<bool> parseBoolean(std::string_view text) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "true" || lower == "1") return true;
  if (lower == "false" || lower == "0") return false;
  return std::nullopt;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parseDecimal(std::string_view text) {
  if (text.empty() || text.front() == '+') return std::nullopt;
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

double settingValue(const SettingValues& values, const SettingSpec& spec) {
  const auto found = values.find(spec.key);
  if (found == values.end()) return spec.defaultValue;
  std::optional<double> parsed;
  switch (spec.kind) {
    case SettingKind::Boolean:
      if (auto flag = parseBoolean(found->second)) parsed = *flag ? 1 : 0;
      break;
    case SettingKind::Integer:
      if (auto integer = parseInteger(found->second)) parsed = static_cast<double>(*integer);
      break;
    case SettingKind::Seconds:
      parsed = parseDecimal(found->second);
      break;
    case SettingKind::Milliseconds:
      if (auto milliseconds = parseDecimal(found->second)) parsed = *milliseconds / 1000;
      break;
  }
  if (!parsed || *parsed < spec.minimum || *parsed > spec.maximum) return spec.defaultValue;
  return *parsed;
}

bool booleanSetting(const SettingValues& values, const SettingSpec& spec) {
  return settingValue(values, spec) != 0;
}

}  // namespace beacon::storage
