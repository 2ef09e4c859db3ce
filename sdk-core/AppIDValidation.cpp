// Validation of Corvane app IDs: "<version>:<project number>:<platform>:<hexadecimal hash>".

#include <string_view>
#include <vector>

#include "platform/text/Characters.h"
#include "platform/text/Scalars.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNLogger.h"

namespace beacon {
namespace {

bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
  return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Reads the leading version: decimal digits of any script, nothing skipped before them.
std::string leadingVersion(std::string_view appID) {
  const std::u32string scalars = platform::toScalars(appID);
  std::u32string digits;
  for (char32_t scalar : scalars) {
    if (!platform::isDecimalDigit(scalar)) break;
    digits += scalar;
  }
  return platform::fromScalars(digits);
}

// A small cursor over the ID; every step consumes only on success.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : rest_(text) {}

  bool atEnd() const { return rest_.empty(); }

  bool scanLiteral(std::string_view literal) {
    if (!rest_.starts_with(literal)) return false;
    rest_.remove_prefix(literal.size());
    return true;
  }

  // An optional sign and at least one decimal digit. The value itself is never needed, so a project
  // number too long for 64 bits is still a number.
  bool scanInteger() {
    std::size_t length = 0;
    if (length < rest_.size() && (rest_[length] == '+' || rest_[length] == '-')) ++length;
    const std::size_t digitsStart = length;
    while (length < rest_.size() && isAsciiDigit(rest_[length])) ++length;
    if (length == digitsStart) return false;
    rest_.remove_prefix(length);
    return true;
  }

  // At least one character, up to the next `separator` or the end.
  std::optional<std::string_view> scanUpTo(char separator) {
    const std::size_t length = std::min(rest_.find(separator), rest_.size());
    if (length == 0) return std::nullopt;
    std::string_view scanned = rest_.substr(0, length);
    rest_.remove_prefix(length);
    return scanned;
  }

  // An optional "0x" followed by at least one hexadecimal digit. Real hashes are far longer than 64
  // bits, so the digits are checked as a run, never parsed into a number that could overflow.
  bool scanHexDigits() {
    std::size_t start = 0;
    if ((rest_.starts_with("0x") || rest_.starts_with("0X")) && rest_.size() > 2 && isHexDigit(rest_[2]))
      start = 2;
    std::size_t length = start;
    while (length < rest_.size() && isHexDigit(rest_[length])) ++length;
    if (length == start) return false;
    rest_.remove_prefix(length);
    return true;
  }

 private:
  std::string_view rest_;
};

bool hasValidFormat(std::string_view appID, std::string_view version) {
  Scanner scanner(appID);
  if (!scanner.scanLiteral(version) || !scanner.scanLiteral(":")) return false;
  if (!scanner.scanInteger() || !scanner.scanLiteral(":")) return false;
  const std::optional<std::string_view> platformName = scanner.scanUpTo(':');
  if (!platformName || *platformName != "ios" || !scanner.scanLiteral(":")) return false;
  return scanner.scanHexDigits() && scanner.atEnd();
}

bool hasValidHash(std::string_view appID) {
  const std::vector<std::string> parts = platform::split(appID, [](char32_t c) { return c == ':'; });
  return parts.size() == 4 && !parts[3].empty() && isHexDigit(parts[3].front());
}

}  // namespace

bool BCNApp::validateAppID(const std::string& appID) {
  if (appID.empty()) return false;
  const std::string version = leadingVersion(appID);
  if (version.empty() || appID.compare(version.size(), 1, ":") != 0) return false;
  if (version != "1") {
    BCNLoggerLogInfo(kBCNLoggerCore, "I-COR000010", "Unknown CORVANE_APP_ID version: %@", version);
    return true;
  }
  return hasValidFormat(appID, version) && hasValidHash(appID);
}

}  // namespace beacon
