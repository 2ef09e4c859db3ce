// JSON from outside (replies, stored documents): parsing never crashes, and what parses writes back
// as text that parses to the same value.

#include "fuzz/FuzzCheck.h"
#include "platform/json/Json.h"

using namespace platform;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Result<Value> parsed = parseJson(velloran::fuzz::text(data, size));
  if (!parsed) return 0;
  Result<std::string> written = writeJson(*parsed);
  check(written.ok(), "parsed JSON writes back");
  Result<Value> again = parseJson(*written);
  check(again.ok(), "written JSON parses");
  check(*again == *parsed, "the round trip keeps the value");
  return 0;
}
