#include "platform/mirror/JournalLineSyntax.h"

#include <charconv>

#include "platform/text/Scalars.h"

namespace platform::mirror_detail {
namespace {

constexpr std::string_view kFieldsKey = "fields";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// What a byte inside a text is: one that ends a plain run (a quote, a backslash or a control
// character), or a plain one, ASCII or beyond.
constexpr std::uint8_t kEndsRun = 0;
constexpr std::uint8_t kAscii = 1;
constexpr std::uint8_t kBeyondAscii = 2;
constexpr struct TextBytes {
  std::uint8_t kinds[256];
  constexpr TextBytes() : kinds() {
    for (int byte = 0; byte < 256; ++byte)
      kinds[byte] = byte < 0x20 || byte == '"' || byte == '\\' ? kEndsRun
                    : byte < 0x80                              ? kAscii
                                                               : kBeyondAscii;
  }
} kTextBytes;

// Receives the syntax as it is read. Depth 1 is the line's object, depth 2 the object (or array) of
// one of its members; only the members of "fields" are taken from there, nothing from deeper down.
class LineMembersBuilder {
 public:
  explicit LineMembersBuilder(LineSyntax& syntax) : syntax_(syntax) {}

  int depth() const { return depth_; }
  // Whether the key of the member under way is kept: it names a member of the line or of "fields".
  bool keepsKey() const { return depth_ == 1 || (depth_ == 2 && inFields_); }
  bool keepsValue() const { return keepsKey(); }

  std::string& key() { return key_; }
  // Takes the key read last along: every member's key is read anew.
  void value(LineValue value) {
    if (depth_ == 1) {
      syntax_.top.members.emplace_back(std::move(key_), std::move(value));
    } else if (depth_ == 2 && inFields_) {
      syntax_.fields.members.emplace_back(std::move(key_), std::move(value));
    }
  }
  // A bare value as the line is refused by the caller; here the line's own object opens depth 1.
  void open(bool object) {
    if (depth_ == 1 && object && key_ == kFieldsKey) {
      syntax_.fields.members.clear();
      inFields_ = true;
    }
    if (depth_ > 0) value(Nested{object});
    ++depth_;
  }
  void close() {
    if (--depth_ == 1) inFields_ = false;
  }

 private:
  LineSyntax& syntax_;
  int depth_ = 0;
  bool inFields_ = false;
  std::string key_;
};

// A strict reader of one JSON text (RFC 8259): strings of well-formed UTF-8 without raw control
// characters, escapes with paired surrogates, numbers by the grammar, nothing after the value but
// white space. Containers are tracked on a stack of its own, so nesting of any depth cannot exhaust
// the call stack.
class LineReader {
 public:
  LineReader(std::string_view text, LineMembersBuilder& builder) : text_(text), builder_(builder) {}

  bool read() {
    if (text_.substr(0, kByteOrderMark.size()) == kByteOrderMark) at_ = kByteOrderMark.size();
    skipSpace();
    if (peek() != '{') return false;  // a line is an object
    std::vector<bool> containers;     // true: an object
    while (true) {
      // A value is expected.
      skipSpace();
      const char next = peek();
      if (next == '{' || next == '[') {
        ++at_;
        const bool object = next == '{';
        builder_.open(object);
        containers.push_back(object);
        skipSpace();
        if (peek() == (object ? '}' : ']')) {
          ++at_;
        } else if (!object || readKey()) {
          continue;
        } else {
          return false;
        }
        containers.pop_back();
        builder_.close();
      } else if (!readScalar()) {
        return false;
      }
      // After a value: the next member or element, or the end of containers.
      while (true) {
        if (containers.empty()) {
          skipSpace();
          return at_ == text_.size();
        }
        skipSpace();
        const char after = take();
        if (after == ',') {
          if (containers.back() && !readKey()) return false;
          break;
        }
        if (after != (containers.back() ? '}' : ']')) return false;
        containers.pop_back();
        builder_.close();
      }
    }
  }

 private:
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  char take() { return at_ < text_.size() ? text_[at_++] : '\0'; }
  void skipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  // `"name" :`, the name kept where the builder wants it.
  bool readKey() {
    skipSpace();
    if (builder_.keepsKey()) {
      if (!readString(builder_.key())) return false;
    } else if (!readString(scratch_)) {
      return false;
    }
    skipSpace();
    return take() == ':';
  }

  bool readScalar() {
    const char next = peek();
    if (next == '"') {
      std::string text;
      if (!readString(builder_.keepsValue() ? text : scratch_)) return false;
      if (builder_.keepsValue()) builder_.value(std::move(text));
      return true;
    }
    if (next == 't' || next == 'f') {
      if (!literal(next == 't' ? "true" : "false")) return false;
      builder_.value(next == 't');
      return true;
    }
    if (next == 'n') {
      if (!literal("null")) return false;
      builder_.value(nullptr);
      return true;
    }
    return readNumber();
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?: an integer as one when it fits 64 bits (signed
  // when negative, unsigned otherwise), else as the nearest double.
  bool readNumber() {
    const std::size_t start = at_;
    const auto digits = [&] {
      const std::size_t first = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
      return at_ - first;
    };
    const bool negative = peek() == '-';
    if (negative) ++at_;
    const std::size_t whole = at_;
    const std::size_t wholeDigits = digits();
    if (wholeDigits == 0 || (wholeDigits > 1 && text_[whole] == '0')) return false;
    bool integer = true;
    if (peek() == '.') {
      ++at_;
      if (digits() == 0) return false;
      integer = false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++at_;
      if (peek() == '+' || peek() == '-') ++at_;
      if (digits() == 0) return false;
      integer = false;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + at_;
    if (integer) {
      if (negative) {
        std::int64_t value = 0;
        if (auto [end, error] = std::from_chars(first, last, value); error == std::errc() && end == last) {
          builder_.value(value);
          return true;
        }
      } else {
        std::uint64_t value = 0;
        if (auto [end, error] = std::from_chars(first, last, value); error == std::errc() && end == last) {
          builder_.value(value);
          return true;
        }
      }
    }
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (end != last) return false;
    if (error == std::errc::result_out_of_range) {
      if (!tooSmall(whole)) return false;  // no double holds it
      value = negative ? -0.0 : 0.0;
    }
    builder_.value(value);
    return true;
  }

  // Whether a number no double holds (from `whole`, its digits after the sign) is too small rather
  // than too large: by a negative exponent or a whole part of 0 (with thousands of digits against
  // the exponent, which no writer of journal lines produces, this may misjudge).
  bool tooSmall(std::size_t whole) const {
    const std::string_view number = text_.substr(whole, at_ - whole);
    const std::size_t exponent = number.find_first_of("eE");
    return number[0] == '0' || (exponent != std::string_view::npos && number[exponent + 1] == '-');
  }

  // Four hexadecimal digits.
  bool readHex(std::uint32_t& unit) {
    if (text_.size() - at_ < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      unit <<= 4;
      if (c >= '0' && c <= '9') {
        unit |= static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        unit |= static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        unit |= static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    return true;
  }

  static void appendUtf8(std::string& out, std::uint32_t scalar) {
    if (scalar < 0x80) {
      out += static_cast<char>(scalar);
    } else if (scalar < 0x800) {
      out += static_cast<char>(0xC0 | (scalar >> 6));
      out += static_cast<char>(0x80 | (scalar & 0x3F));
    } else if (scalar < 0x10000) {
      out += static_cast<char>(0xE0 | (scalar >> 12));
      out += static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (scalar & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (scalar >> 18));
      out += static_cast<char>(0x80 | ((scalar >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((scalar >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (scalar & 0x3F));
    }
  }

  // After the backslash of `\uXXXX`: one scalar, a high surrogate only with its low one.
  bool readEscapedScalar(std::string& out) {
    std::uint32_t unit = 0;
    if (!readHex(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      std::uint32_t low = 0;
      if (!literal("\\u") || !readHex(low) || low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    appendUtf8(out, unit);
    return true;
  }

  bool readString(std::string& out) {
    out.clear();
    if (take() != '"') return false;
    std::uint8_t seen = 0;
    while (true) {
      // The plain run up to the next quote, backslash or control character, copied at once.
      const std::size_t run = at_;
      while (at_ < text_.size()) {
        const std::uint8_t kind = kTextBytes.kinds[static_cast<unsigned char>(text_[at_])];
        if (kind == kEndsRun) break;
        seen |= kind;
        ++at_;
      }
      out.append(text_.data() + run, at_ - run);
      const char c = take();
      if (c == '"') return !(seen & kBeyondAscii) || isWellFormedUtf8(out);
      if (c != '\\') return false;  // a control character, or the line ended
      switch (take()) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u':
          if (!readEscapedScalar(out)) return false;
          break;
        default:
          return false;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  LineMembersBuilder& builder_;
  // Where texts nobody keeps are read to.
  std::string scratch_;
};

}  // namespace

const LineValue* LineMembers::find(std::string_view name) const {
  for (auto member = members.rbegin(); member != members.rend(); ++member) {
    if (member->first == name) return &member->second;
  }
  return nullptr;
}

std::optional<LineSyntax> readLineSyntax(std::string_view line) {
  LineSyntax syntax;
  LineMembersBuilder builder(syntax);
  if (!LineReader(line, builder).read()) return std::nullopt;
  return syntax;
}

}  // namespace platform::mirror_detail
