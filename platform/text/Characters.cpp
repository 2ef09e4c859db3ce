#include "platform/text/Characters.h"

#include <unicode/uchar.h>

#include <cstddef>

#include "platform/text/IcuText.h"

namespace platform {
namespace {

bool inCategories(char32_t scalar, std::uint32_t mask) {
  return (U_GET_GC_MASK(static_cast<UChar32>(scalar)) & mask) != 0;
}

}  // namespace

bool isLetter(char32_t scalar) {
  return inCategories(scalar, U_GC_L_MASK);
}

bool isDecimalDigit(char32_t scalar) {
  return inCategories(scalar, U_GC_ND_MASK);
}

bool isAlphanumeric(char32_t scalar) {
  return inCategories(scalar, U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK);
}

bool isWhiteSpace(char32_t scalar) {
  return u_isUWhiteSpace(static_cast<UChar32>(scalar));
}

std::string trimmed(std::string_view utf8) {
  std::size_t begin = utf8.size();
  std::size_t end = 0;
  text_detail::forEachScalar(utf8, [&](char32_t scalar, std::size_t offset, std::size_t length) {
    if (isWhiteSpace(scalar)) return;
    if (begin == utf8.size()) begin = offset;
    end = offset + length;
  });
  return begin < end ? std::string(utf8.substr(begin, end - begin)) : std::string();
}

std::vector<std::string> split(std::string_view utf8, const std::function<bool(char32_t)>& isSeparator) {
  std::vector<std::string> pieces;
  std::size_t pieceStart = 0;
  text_detail::forEachScalar(utf8, [&](char32_t scalar, std::size_t offset, std::size_t length) {
    if (!isSeparator(scalar)) return;
    pieces.emplace_back(utf8.substr(pieceStart, offset - pieceStart));
    pieceStart = offset + length;
  });
  pieces.emplace_back(utf8.substr(pieceStart));
  return pieces;
}

}  // namespace platform
