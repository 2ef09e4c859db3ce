#pragma once
// The SDK vendor's reverse-DNS prefix. Labels that name the vendor's things on this machine (error
// domains, the system-log facility, preference suites, keychain services, queue labels) begin with
// it, so they never collide with labels of other software on the same machine.

#include <string>
#include <string_view>

namespace beacon {

inline constexpr std::string_view kVendorPrefix = "com.corvane.";

// The vendor label for `role`: vendorLabel("utilities.logger") is "com.corvane.utilities.logger".
inline std::string vendorLabel(std::string_view role) {
  std::string label(kVendorPrefix);
  label.append(role);
  return label;
}

}  // namespace beacon
