#include "platform/value/Base64.h"

#include <array>

namespace platform {
namespace {

constexpr std::string_view kStandard = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUrlSafe = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string_view symbols(Base64Alphabet alphabet) {
  return alphabet == Base64Alphabet::Standard ? kStandard : kUrlSafe;
}

constexpr int kNotInAlphabet = -1;

std::array<int, 256> reverseTable(std::string_view alphabet) {
  std::array<int, 256> table;
  table.fill(kNotInAlphabet);
  for (std::size_t i = 0; i < alphabet.size(); ++i) table[static_cast<unsigned char>(alphabet[i])] = int(i);
  return table;
}

}  // namespace

std::string base64Encode(const Bytes& data, Base64Alphabet alphabet, Base64Padding padding) {
  std::string_view table = symbols(alphabet);
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    std::uint32_t group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += table[(group >> 18) & 63];
    out += table[(group >> 12) & 63];
    out += table[(group >> 6) & 63];
    out += table[group & 63];
  }
  std::size_t rest = data.size() - i;
  if (rest == 0) return out;
  std::uint32_t group = data[i] << 16;
  if (rest == 2) group |= data[i + 1] << 8;
  out += table[(group >> 18) & 63];
  out += table[(group >> 12) & 63];
  if (rest == 2) out += table[(group >> 6) & 63];
  if (padding == Base64Padding::Keep) out.append(3 - rest, '=');
  return out;
}

std::optional<Bytes> base64Decode(std::string_view text, Base64Alphabet alphabet) {
  static const std::array<int, 256> standard = reverseTable(kStandard);
  static const std::array<int, 256> urlSafe = reverseTable(kUrlSafe);
  const std::array<int, 256>& table = alphabet == Base64Alphabet::Standard ? standard : urlSafe;

  // Fill characters, when present, complete the last group of four and nothing else.
  if (text.size() % 4 == 0 && !text.empty()) {
    std::size_t fill = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    text.remove_suffix(fill);
  }
  if (text.size() % 4 == 1) return std::nullopt;

  Bytes out;
  out.reserve(text.size() * 3 / 4);
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (char c : text) {
    int sextet = table[static_cast<unsigned char>(c)];
    if (sextet == kNotInAlphabet) return std::nullopt;
    bits = (bits << 6) | std::uint32_t(sextet);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> bitCount));
      bits &= (1u << bitCount) - 1;
    }
  }
  if (bits != 0) return std::nullopt;
  return out;
}

}  // namespace platform
