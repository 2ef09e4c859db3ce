// The keyed JSON form of the prompt values (exchanged with other programs): decoding any text as
// any of the six types never crashes, and a decoded value that encodes decodes back equal.

#include "Velloran/data/PromptCoding.h"
#include "fuzz/FuzzCheck.h"

using namespace velloran;
using velloran::fuzz::check;

namespace {

template <class T>
void roundTrip(std::string_view text) {
  platform::Result<T> decoded = decodeJsonText<T>(text);
  if (!decoded) return;
  // Encoding refuses what JSON cannot carry faithfully (an infinite date, say).
  platform::Result<std::string> encoded = encodeJsonText(*decoded);
  if (!encoded) return;
  platform::Result<T> again = decodeJsonText<T>(*encoded);
  check(again.ok(), "an encoded value decodes");
  check(*again == *decoded, "the round trip keeps the value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = velloran::fuzz::text(data, size);
  roundTrip<Prompt>(text);
  roundTrip<PromptVersion>(text);
  roundTrip<PromptRun>(text);
  roundTrip<Snippet>(text);
  roundTrip<SmartFilter>(text);
  roundTrip<PromptType>(text);
  return 0;
}
