#include "platform/text/Scalars.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include "platform/text/IcuText.h"

namespace platform {

using text_detail::forEachScalar;

std::u32string toScalars(std::string_view utf8) {
  std::u32string scalars;
  scalars.reserve(utf8.size());
  forEachScalar(utf8, [&](char32_t scalar, std::size_t, std::size_t) { scalars.push_back(scalar); });
  return scalars;
}

std::string fromScalars(std::u32string_view scalars) {
  std::string out;
  out.reserve(scalars.size());
  for (char32_t scalar : scalars) {
    if (scalar > 0x10FFFF || U_IS_SURROGATE(scalar)) scalar = 0xFFFD;
    std::uint8_t buffer[U8_MAX_LENGTH];
    std::int32_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, scalar);
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
  }
  return out;
}

std::size_t scalarCount(std::string_view utf8) {
  std::size_t count = 0;
  forEachScalar(utf8, [&](char32_t, std::size_t, std::size_t) { ++count; });
  return count;
}

bool isWellFormedUtf8(std::string_view bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const auto length = static_cast<std::int32_t>(bytes.size());
  for (std::int32_t at = 0; at < length;) {
    UChar32 scalar = 0;
    U8_NEXT(data, at, length, scalar);
    if (scalar < 0) return false;
  }
  return true;
}

std::string wellFormedUtf8(std::string_view bytes) {
  if (isWellFormedUtf8(bytes)) return std::string(bytes);
  return fromScalars(toScalars(bytes));
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  forEachScalar(utf8, [&](char32_t scalar, std::size_t, std::size_t) { units += U16_LENGTH(scalar); });
  return units;
}

std::size_t characterCount(std::string_view utf8) {
  icu::BreakIterator* characters = text_detail::characterBreaks();
  if (!characters) return scalarCount(utf8);
  const icu::UnicodeString text = text_detail::toUnicode(utf8);
  characters->setText(text);
  std::size_t count = 0;
  for (std::int32_t boundary = characters->next(); boundary != icu::BreakIterator::DONE;
       boundary = characters->next()) {
    ++count;
  }
  return count;
}

std::string scalarPrefix(std::string_view utf8, std::size_t maxScalars) {
  std::u32string scalars = toScalars(utf8);
  if (scalars.size() > maxScalars) scalars.resize(maxScalars);
  return fromScalars(scalars);
}

}  // namespace platform
