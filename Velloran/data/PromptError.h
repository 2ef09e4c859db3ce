#pragma once
// The system's own failure for store operations. It travels as a platform::Error in its own domain
// (code = the case's position), so any caller can recognise it among other failures; its
// description is the German text shown for it, and it carries nothing else.
//
// Only notFound is raised today (by the in-memory prompt store); the persistent store passes on the
// failures of its storage layer.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/error/Error.h"

namespace velloran {

enum class PromptError : std::int64_t { notFound, invalidData, persistenceFailed, syncUnavailable };

inline constexpr std::string_view kPromptErrorDomain = "Velloran.PromptError";

std::string_view localizedDescription(PromptError error);

platform::Error makeError(PromptError error);

// The case when `error` is a PromptError, nothing otherwise.
std::optional<PromptError> promptError(const platform::Error& error);

}  // namespace velloran
