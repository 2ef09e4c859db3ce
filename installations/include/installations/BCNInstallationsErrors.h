#pragma once
// The installations client's public error domain. Every error its public calls hand out is in this
// domain: code 0 unknown (errors of other domains arrive wrapped, the original as the cause), 1 a
// keychain failure, 2 the server is not asked because of too many failed requests.

#include <cstdint>
#include <string>

namespace beacon {

extern const std::string& kBCNInstallationsErrorDomain;

inline constexpr std::int64_t kBCNInstallationsErrorCodeUnknown = 0;
inline constexpr std::int64_t kBCNInstallationsErrorCodeKeychain = 1;
inline constexpr std::int64_t kBCNInstallationsErrorCodeServerUnreachable = 2;

}  // namespace beacon
