#pragma once
// Property lists in both encodings: XML and binary. Reading detects the encoding by itself;
// writing produces the encoding asked for. Failures are Error values in kPropertyListErrorDomain;
// bad input never throws. Pure functions, safe from any thread.
//
// Kinds map one to one: bool, integer (int64), real (double), string (UTF-8), data (Bytes), date
// (Date, seconds since 2001), array and dictionary. Null has no property-list form and is refused
// on write. Limits the library underneath imposes, and how they are handled:
// - Dates between 1932-12-13 and 2069-01-19 keep microseconds in binary; XML dates are whole
//   seconds. Dates outside that window are read with whole seconds and refused on write.
// - An unsigned integer above the int64 range (written by other software) reads as the nearest
//   double rather than wrapping to a negative number.
// - Strings must be valid UTF-8 without NUL characters to be written.

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/value/Value.h"

namespace platform {

inline constexpr std::string_view kPropertyListErrorDomain = "platform.plist";

struct PropertyListErrorCode {
  enum : std::int64_t {
    FileMissing = 1,      // the file to read does not exist
    FileUnreadable = 2,   // it exists but could not be read
    Malformed = 3,        // the bytes are not a property list this reader understands
    Unrepresentable = 4,  // a value has no form on the other side (null on write, UID on read, ...)
  };
};

enum class PropertyListFormat { Xml, Binary };

// Object references (UIDs) are what keyed archives link their objects with; other property lists
// have none, so they are refused unless asked for. Asked for, each reads and writes as the
// dictionary {"CF$UID": n}, the form XML property lists spell them in.
enum class ObjectReferences { Refused, AsDictionaries };
inline constexpr std::string_view kObjectReferenceKey = "CF$UID";

Result<Value> readPropertyList(std::string_view data,
                               ObjectReferences references = ObjectReferences::Refused);
Result<Value> readPropertyList(const Bytes& data, ObjectReferences references = ObjectReferences::Refused);
// FileMissing when there is no such file (a file standing where a folder on the way belongs included),
// so callers can treat "never written" apart from damage;
// FileUnreadable at once for a folder, pipe or device at the path.
Result<Value> readPropertyListFile(const std::filesystem::path& path);

Result<Bytes> writePropertyList(const Value& value, PropertyListFormat format,
                                ObjectReferences references = ObjectReferences::Refused);

}  // namespace platform
