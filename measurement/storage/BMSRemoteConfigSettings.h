#pragma once
// Every setting of the downloaded configuration that the engine reads: its key, kind, default and
// bounds, in one table. A value that is absent, cannot be parsed as the setting's kind, or lies
// outside [minimum, maximum] reads as the default; it is never clamped.
//
// Settings whose values the engine documentation does not give have the defaults and bounds chosen
// here, noted "(ours)" in the table. Internal to the storage target.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace beacon::storage {

enum class SettingKind {
  Boolean,       // "true"/"false"/"1"/"0", any case
  Integer,       // strict decimal, optional "-"
  Seconds,       // a decimal number of seconds
  Milliseconds,  // a decimal number of milliseconds, read as seconds; bounds and default in seconds
};

struct SettingSpec {
  std::string_view key;
  SettingKind kind;
  double defaultValue;
  double minimum;
  double maximum;
};

using SettingValues = std::map<std::string, std::string, std::less<>>;

// The value of `spec` among `values`, or its default.
double settingValue(const SettingValues& values, const SettingSpec& spec);
bool booleanSetting(const SettingValues& values, const SettingSpec& spec);

// Strict parsers (no white space, no trailing text, "." as decimal point whatever the locale).
std::optional<bool> parseBoolean(std::string_view text);
std::optional<std::int64_t> parseInteger(std::string_view text);
std::optional<double> parseDecimal(std::string_view text);

}  // namespace beacon::storage
