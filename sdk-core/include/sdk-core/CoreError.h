#pragma once
// The core error domain and the core's programmer-error exceptions.
//
// Misuse of the SDK core (bad configure arguments, editing options an app has taken, an invalid
// logger level, a library class that publishes no components) throws platform::ProgrammerError whose
// name classifies the misuse; everything the caller could not have prevented is logged instead.

#include <string>
#include <string_view>

#include "platform/error/Error.h"

namespace beacon {

// The domain of the core's exceptions and of the errors BCNApp hands out.
extern const std::string& kBCNErrorDomainCore;

// Names of the other two kinds of misuse the core reports.
inline constexpr std::string_view kBCNInvalidArgumentException = "InvalidArgumentException";
inline constexpr std::string_view kBCNInternalInconsistencyException = "InternalInconsistencyException";

// The vendor's console, where developers download a configuration file, and the set-up guide that
// the "no default app" message points to.
inline constexpr std::string_view kBCNConsoleLink = "https://console.corvane.example/";
inline constexpr std::string_view kBCNSetUpGuideLink = "https://docs.corvane.example/beacon/setup";

// Throws ProgrammerError(kBCNErrorDomainCore, reason).
[[noreturn]] void raiseCoreException(const std::string& reason);

}  // namespace beacon
