#pragma once
// Where the SDK's services live: one table of HTTPS origins, one per service.
//
// The environment variable BEACON_SERVICE_ORIGIN, when it holds an http(s) origin such as
// "http://127.0.0.1:8080" (scheme, host, optional port, nothing after), replaces every origin at
// once, for tests and staging; paths stay what each caller appends. Any other value is ignored.
// Read on every call, so a test sets it before the SDK starts. Safe on any thread.

#include <string>
#include <string_view>

namespace beacon {

enum class CVUService { Installations, Configuration, Upload, DeepLink, Attribution, Conversion };

inline constexpr const char* kCVUServiceOriginVariable = "BEACON_SERVICE_ORIGIN";

// "https://host" of the service, or the override; never with a trailing "/".
std::string CVUServiceOrigin(CVUService service);
// The origin with `path` appended ("/v1/x" gives "https://host/v1/x").
std::string CVUServiceURL(CVUService service, std::string_view path);
// The host of the service's origin, for reachability checks.
std::string CVUServiceHost(CVUService service);

}  // namespace beacon
