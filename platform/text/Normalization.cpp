#include "platform/text/Normalization.h"

#include <functional>

#include "platform/text/IcuText.h"

namespace platform {

// ASCII is its own NFC, and most keys are ASCII: those skip the conversion to UTF-16.
std::string normalizedNFC(std::string_view utf8) {
  if (text_detail::isAscii(utf8)) return std::string(utf8);
  return text_detail::toUtf8(
      text_detail::normalized(text_detail::nfcNormalizer(), text_detail::toUnicode(utf8)));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (text_detail::isAscii(a) && text_detail::isAscii(b)) return false;
  if (!text_detail::isWellFormedUtf8(a) || !text_detail::isWellFormedUtf8(b)) return false;
  return normalizedNFC(a) == normalizedNFC(b);
}

std::size_t canonicalHash(std::string_view utf8) {
  if (!text_detail::isWellFormedUtf8(utf8)) return std::hash<std::string_view>{}(utf8);
  return std::hash<std::string>{}(normalizedNFC(utf8));
}

}  // namespace platform
