#pragma once
// printf-style formatting that also understands `%@`, so the system's message texts can be written in
// code exactly as they read ("I-COR%06ld", "%@ - %@[%@] %@", "Sync-Fehler: %@").
//
// Arguments are captured by type, so a conversion never reads the wrong kind of value:
// - `%@` writes an object's text: strings as they are, numbers in decimal, a `Value` through its
//   description, anything with a `description()` member through that, a null pointer, empty
//   `std::optional` or null `std::shared_ptr` as "(null)".
// - `%d %i %u %x %X %o %c %s %p %f %F %e %E %g %G %a %A %%` with the usual flags (`-+ #0`), width and
//   precision. Length modifiers (`l`, `ll`, `z`, ...) are accepted and ignored: the argument's own
//   type decides its width. A negative signed number under an unsigned conversion is written as its
//   64-bit two's complement. Numbers always use "." as decimal point, whatever the C locale says.
// - A conversion whose argument is of another kind converts when both are numbers, and otherwise
//   writes the argument's text as `%@` would.
//
// Malformed input never misbehaves: a format given no arguments at all is written unchanged (so
// "100%" stays "100%"); a conversion without an argument left is written as its bare text
// ("%@"); surplus arguments are ignored; unknown conversions (including `%n` and `*` widths) are
// written bare and consume nothing. Pure functions, safe on any thread.
//
// Call it qualified (`platform::format`): an unqualified call with a standard-library argument
// could also find a same-named standard function through argument-dependent lookup.

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "platform/value/Value.h"

namespace platform {

template <class T>
concept Describable = requires(const T& object) {
  { object.description() } -> std::convertible_to<std::string>;
};

// One argument of `format`, captured as the small set of kinds the conversions understand.
class FormatArgument {
 public:
  struct Nil {};
  struct Address {
    std::uintptr_t value;
  };
  using Payload = std::variant<Nil, std::int64_t, std::uint64_t, double, std::string, Address>;

  FormatArgument(std::nullptr_t) {}
  FormatArgument(const char* text) {
    if (text) payload_ = std::string(text);
  }
  FormatArgument(std::string_view text) : payload_(std::string(text)) {}
  FormatArgument(const std::string& text) : payload_(text) {}
  FormatArgument(const Value& value);

  template <std::integral T>
  FormatArgument(T number) {
    if constexpr (std::is_signed_v<T>) {
      payload_ = static_cast<std::int64_t>(number);
    } else {
      payload_ = static_cast<std::uint64_t>(number);
    }
  }
  template <std::floating_point T>
  FormatArgument(T number) : payload_(static_cast<double>(number)) {}

  template <Describable T>
  FormatArgument(const T& object) : payload_(std::string(object.description())) {}

  // Pointers: their object's description when it has one, else their address.
  template <class T>
  requires(!std::is_same_v<std::remove_cv_t<T>, char>) FormatArgument(T* pointer) {
    if (!pointer) return;
    if constexpr (Describable<T>) {
      payload_ = std::string(pointer->description());
    } else {
      payload_ = Address{reinterpret_cast<std::uintptr_t>(pointer)};
    }
  }
  template <class T>
  FormatArgument(const std::shared_ptr<T>& pointer) : FormatArgument(pointer.get()) {}

  template <class T>
  FormatArgument(const std::optional<T>& optional) {
    if (optional) payload_ = FormatArgument(*optional).payload_;
  }

  const Payload& payload() const { return payload_; }

 private:
  Payload payload_;
};

// The worker behind `format`, for callers that pass on an argument list they received.
std::string formatArguments(std::string_view formatText, std::span<const FormatArgument> arguments);

template <class... Arguments>
std::string format(std::string_view formatText, const Arguments&... arguments) {
  if constexpr (sizeof...(Arguments) == 0) {
    return std::string(formatText);
  } else {
    const FormatArgument captured[] = {FormatArgument(arguments)...};
    return formatArguments(formatText, captured);
  }
}

}  // namespace platform
