#pragma once
// The SDK's version, as written in log lines, the user agent and the library registrations, and
// its numeric form sent with uploads.

#include <string>

namespace beacon {

// "12.4.0".
const std::string& BCNSDKVersion();

// The three dotted parts of the version, each printed with two digits, followed by "000":
// "120400000" for 12.4.0. Worked out once.
const std::string& libraryVersionID();

}  // namespace beacon
