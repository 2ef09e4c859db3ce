// Format texts with `%@` and printf conversions: any text, with any of the argument kinds, formats
// without crashing or reading an argument as the wrong kind.

#include "fuzz/FuzzCheck.h"
#include "platform/text/Format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view formatText = velloran::fuzz::text(data, size);
  (void)platform::format(formatText);
  (void)platform::format(formatText, "text", std::int64_t{-42}, std::uint64_t{18446744073709551615u}, 2.5,
                         nullptr, platform::Value(platform::Array{platform::Value(1), platform::Value("x")}),
                         std::optional<int>(), -1e308, 'c');
  (void)platform::format(formatText, std::string(formatText));
  return 0;
}
