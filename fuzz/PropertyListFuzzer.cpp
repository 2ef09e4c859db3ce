// Property lists from files anyone may have damaged (preferences, Info.plist, the SDK's options):
// reading never crashes, and whatever reads and can be written in binary reads back the same.

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzValues.h"
#include "platform/plist/PropertyList.h"

using namespace platform;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (ObjectReferences references : {ObjectReferences::Refused, ObjectReferences::AsDictionaries}) {
    Result<Value> read = readPropertyList(velloran::fuzz::text(data, size), references);
    if (!read) continue;
    if (Result<Bytes> binary = writePropertyList(*read, PropertyListFormat::Binary, references)) {
      Result<Value> again = readPropertyList(*binary, references);
      check(again.ok(), "a binary property list we wrote reads back");
      if (!velloran::fuzz::holdsNaN(*read)) check(*again == *read, "the binary round trip keeps the value");
    }
    (void)writePropertyList(*read, PropertyListFormat::Xml, references);
  }
  return 0;
}
