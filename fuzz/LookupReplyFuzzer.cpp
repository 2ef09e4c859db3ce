// The store lookup's reply, read from the network: decoding any body never crashes, and every
// decoded entry turns into a record or into nothing without crashing.

#include "Velloran/services/LookupReply.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::Result<velloran::LookupResponse> response =
      velloran::decodeLookupResponse(velloran::fuzz::text(data, size));
  if (!response) return 0;
  for (const velloran::LookupEntry& entry : response->results) (void)velloran::makeAppStoreApp(entry);
  return 0;
}
