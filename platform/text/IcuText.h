#pragma once
// Internal to the text layer: the bridge between our UTF-8 strings and ICU's UTF-16 strings, and
// the shared scalar walk. Not part of the layer's interface; nothing outside platform/text includes it.

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform::text_detail {

// ICU owns the normalizer instances; they live as long as the process and are safe to share between
// threads. Null only when ICU's data is missing, in which case text is used unnormalized.
inline const icu::Normalizer2* nfcNormalizer() {
  static const icu::Normalizer2* instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) ? normalizer : nullptr;
  }();
  return instance;
}

inline const icu::Normalizer2* nfdNormalizer() {
  static const icu::Normalizer2* instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFDInstance(status);
    return U_SUCCESS(status) ? normalizer : nullptr;
  }();
  return instance;
}

inline icu::UnicodeString normalized(const icu::Normalizer2* normalizer, const icu::UnicodeString& text) {
  if (!normalizer) return text;
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString result = normalizer->normalize(text, status);
  return U_SUCCESS(status) ? result : text;
}

// The caseless form under the fold options: composed first so that the Turkic capital dotted I is
// still one character when folded, decomposed last so that precomposed and combining spellings agree.
inline icu::UnicodeString caseless(const icu::UnicodeString& text, std::uint32_t options) {
  icu::UnicodeString folded = normalized(nfcNormalizer(), text);
  folded.foldCase(options);
  return normalized(nfdNormalizer(), folded);
}

// A break iterator over user-perceived characters. Opening one loads rule data, so each thread keeps
// its own. Null only when ICU's data is missing.
inline icu::BreakIterator* characterBreaks() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> created(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_SUCCESS(status) ? std::move(created) : nullptr;
  }();
  return iterator.get();
}

// The locale of that name; the process's default for an empty one.
inline icu::Locale localeNamed(std::string_view locale) {
  return locale.empty() ? icu::Locale::getDefault() : icu::Locale(std::string(locale).c_str());
}

inline icu::UnicodeString toUnicode(std::string_view utf8) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
}

inline std::string toUtf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// Calls visit(scalar, byteOffset, byteLength) for each scalar; ill-formed bytes arrive as U+FFFD.
template <class Visitor>
void forEachScalar(std::string_view utf8, Visitor&& visit) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const auto length = static_cast<std::int64_t>(utf8.size());
  std::int64_t offset = 0;
  while (offset < length) {
    const std::int64_t start = offset;
    UChar32 scalar;
    U8_NEXT_OR_FFFD(bytes, offset, length, scalar);
    visit(static_cast<char32_t>(scalar), static_cast<std::size_t>(start),
          static_cast<std::size_t>(offset - start));
  }
}

inline bool isAscii(std::string_view utf8) {
  for (char byte : utf8) {
    if (static_cast<unsigned char>(byte) >= 0x80) return false;
  }
  return true;
}

inline bool isWellFormedUtf8(std::string_view utf8) {
  if (isAscii(utf8)) return true;
  bool wellFormed = true;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const auto length = static_cast<std::int64_t>(utf8.size());
  for (std::int64_t offset = 0; offset < length && wellFormed;) {
    UChar32 scalar;
    U8_NEXT(bytes, offset, length, scalar);
    wellFormed = scalar >= 0;
  }
  return wellFormed;
}

}  // namespace platform::text_detail
