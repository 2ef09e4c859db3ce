#include "platform/text/Format.h"

#include <locale.h>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/text/Scalars.h"

namespace platform {
namespace {

// Larger widths or precisions are certainly a typo; such a conversion is written bare.
constexpr int kMaxWidthOrPrecision = 9999;

struct Conversion {
  std::string_view text;  // from '%' through the conversion character, for writing it bare
  std::string flags;      // subset of "-+ #0"
  std::optional<int> width;
  std::optional<int> precision;
  char kind = 0;
};

std::optional<int> readNumber(std::string_view text, std::size_t& position) {
  int number = 0;
  std::size_t start = position;
  while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
    number = number * 10 + (text[position] - '0');
    if (number > kMaxWidthOrPrecision) return std::nullopt;
    ++position;
  }
  return position == start ? std::optional<int>(0) : std::optional<int>(number);
}

// Parses the conversion that starts at `text[0] == '%'`; nullopt when it is not one we write.
std::optional<Conversion> parseConversion(std::string_view text) {
  Conversion conversion;
  std::size_t position = 1;
  while (position < text.size() && std::string_view("-+ #0").find(text[position]) != std::string_view::npos) {
    conversion.flags += text[position++];
  }
  if (position < text.size() && text[position] >= '1' && text[position] <= '9') {
    conversion.width = readNumber(text, position);
    if (!conversion.width) return std::nullopt;
  }
  if (position < text.size() && text[position] == '.') {
    ++position;
    conversion.precision = readNumber(text, position);
    if (!conversion.precision) return std::nullopt;
  }
  while (position < text.size() &&
         std::string_view("hlqLzjt").find(text[position]) != std::string_view::npos) {
    ++position;
  }
  if (position >= text.size()) return std::nullopt;
  conversion.kind = text[position];
  if (std::string_view("@diuxXocspfFeEgGaA%").find(conversion.kind) == std::string_view::npos) {
    return std::nullopt;
  }
  conversion.text = text.substr(0, position + 1);
  return conversion;
}

// Sets the C numeric conventions for this thread while printing, so a process that adopted a
// user locale (where the decimal point may be ",") still writes "3.5".
class ClassicNumbersScope {
 public:
  ClassicNumbersScope() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (classic) previous_ = uselocale(classic);
  }
  ~ClassicNumbersScope() {
    if (previous_) uselocale(previous_);
  }
  ClassicNumbersScope(const ClassicNumbersScope&) = delete;
  ClassicNumbersScope& operator=(const ClassicNumbersScope&) = delete;

 private:
  locale_t previous_ = nullptr;
};

template <class Number>
std::string printNumber(const Conversion& conversion, char kind, Number number) {
  std::string spec = "%" + conversion.flags;
  if (conversion.width) spec += std::to_string(*conversion.width);
  if (conversion.precision) spec += "." + std::to_string(*conversion.precision);
  if constexpr (std::is_integral_v<Number>) spec += "ll";
  spec += kind;

  ClassicNumbersScope classic;
  const int length = std::snprintf(nullptr, 0, spec.c_str(), number);
  if (length < 0) return std::string(conversion.text);
  std::string out(static_cast<std::size_t>(length), '\0');
  std::snprintf(out.data(), out.size() + 1, spec.c_str(), number);
  return out;
}

std::string hexAddress(std::uintptr_t address) {
  char buffer[2 + 2 * sizeof(std::uintptr_t)] = {'0', 'x'};
  auto end = std::to_chars(buffer + 2, std::end(buffer), address, 16).ptr;
  return std::string(buffer, end);
}

std::string shortestDecimal(double number) {
  char buffer[64];
  auto end = std::to_chars(std::begin(buffer), std::end(buffer), number).ptr;
  return std::string(buffer, end);
}

// What `%@` writes for each kind of argument.
std::string textOf(const FormatArgument::Payload& payload) {
  struct Visitor {
    std::string operator()(FormatArgument::Nil) const { return "(null)"; }
    std::string operator()(std::int64_t number) const { return std::to_string(number); }
    std::string operator()(std::uint64_t number) const { return std::to_string(number); }
    std::string operator()(double number) const { return shortestDecimal(number); }
    std::string operator()(const std::string& text) const { return text; }
    std::string operator()(FormatArgument::Address address) const { return hexAddress(address.value); }
  };
  return std::visit(Visitor{}, payload);
}

// Width and precision of text conversions count Unicode scalars, so an "ü" is one column, not two.
std::string padText(const Conversion& conversion, std::string text) {
  if (conversion.precision && conversion.kind != 'c') text = scalarPrefix(text, *conversion.precision);
  if (!conversion.width) return text;
  const std::size_t length = scalarCount(text);
  const auto width = static_cast<std::size_t>(*conversion.width);
  if (length >= width) return text;
  const std::string padding(width - length, ' ');
  return conversion.flags.find('-') != std::string::npos ? text + padding : padding + text;
}

std::optional<std::int64_t> asSigned(const FormatArgument::Payload& payload) {
  if (auto number = std::get_if<std::int64_t>(&payload)) return *number;
  if (auto number = std::get_if<std::uint64_t>(&payload)) return static_cast<std::int64_t>(*number);
  if (auto address = std::get_if<FormatArgument::Address>(&payload)) {
    return static_cast<std::int64_t>(address->value);
  }
  if (auto number = std::get_if<double>(&payload)) {
    if (std::isnan(*number)) return 0;
    if (*number >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (*number <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(*number);
  }
  return std::nullopt;
}

std::optional<double> asDouble(const FormatArgument::Payload& payload) {
  if (auto number = std::get_if<double>(&payload)) return *number;
  if (auto number = std::get_if<std::int64_t>(&payload)) return static_cast<double>(*number);
  if (auto number = std::get_if<std::uint64_t>(&payload)) return static_cast<double>(*number);
  return std::nullopt;
}

std::string render(const Conversion& conversion, const FormatArgument::Payload& payload) {
  const char kind = conversion.kind;
  switch (kind) {
    case 'd':
    case 'i': {
      // Unsigned values above the signed range keep their value instead of turning negative.
      if (auto number = std::get_if<std::uint64_t>(&payload);
          number && *number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return printNumber(conversion, 'u', *number);
      }
      if (auto number = asSigned(payload)) return printNumber(conversion, 'd', *number);
      break;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      if (auto number = asSigned(payload))
        return printNumber(conversion, kind, static_cast<std::uint64_t>(*number));
      break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      if (auto number = asDouble(payload)) return printNumber(conversion, kind, *number);
      break;
    case 'c':
      if (auto number = asSigned(payload)) {
        const bool scalar = *number >= 0 && *number <= 0x10FFFF;
        return padText(conversion,
                       fromScalars(std::u32string(1, scalar ? static_cast<char32_t>(*number) : 0xFFFD)));
      }
      break;
    case 'p':
      if (std::holds_alternative<FormatArgument::Nil>(payload)) return padText(conversion, "0x0");
      if (auto number = asSigned(payload); number && !std::holds_alternative<double>(payload)) {
        return padText(conversion, hexAddress(static_cast<std::uintptr_t>(*number)));
      }
      break;
    default:
      break;
  }
  return padText(conversion, textOf(payload));
}

}  // namespace

// Numbers stay numbers so that numeric conversions can print them; everything else, a bool
// included, is written the way the value describes itself.
FormatArgument::FormatArgument(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Integer:
      payload_ = *value.asInteger();
      break;
    case Value::Kind::Double:
      payload_ = *value.asDouble();
      break;
    default:
      payload_ = value.description();
      break;
  }
}

std::string formatArguments(std::string_view format, std::span<const FormatArgument> arguments) {
  if (arguments.empty()) return std::string(format);
  std::string out;
  out.reserve(format.size() + 16 * arguments.size());
  std::size_t nextArgument = 0;
  std::size_t position = 0;
  while (position < format.size()) {
    const std::size_t percent = format.find('%', position);
    out.append(format.substr(position, percent - position));
    if (percent == std::string_view::npos) break;

    const std::optional<Conversion> conversion = parseConversion(format.substr(percent));
    if (!conversion) {
      out += '%';
      position = percent + 1;
      continue;
    }
    position = percent + conversion->text.size();
    if (conversion->kind == '%') {
      out += '%';
    } else if (nextArgument < arguments.size()) {
      out += render(*conversion, arguments[nextArgument++].payload());
    } else {
      out.append(conversion->text);
    }
  }
  return out;
}

}  // namespace platform
