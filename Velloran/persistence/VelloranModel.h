#pragma once
// The names of the prompt library's stored model: its entities and the keys through which the stack
// builds them and the prompt store reads and writes them. Objects are generic: every access goes by
// these keys, so they are written once, here.
//
// PromptEntity: id, title, type (the PromptType raw value), tags (a JSON array of strings),
// isSystem, createdAt, updatedAt, and the to-many `versions`.
// VersionEntity: id, promptRef (the owning prompt's id, repeated beside the link), content, notes,
// versionNumber (32 bits), createdAt, and the to-one `prompt`.

#include <string_view>

namespace velloran::model {

inline constexpr std::string_view kModelName = "VelloranModel";

inline constexpr std::string_view kPromptEntity = "PromptEntity";
inline constexpr std::string_view kVersionEntity = "VersionEntity";

// Shared by both entities.
inline constexpr std::string_view kId = "id";
inline constexpr std::string_view kCreatedAt = "createdAt";

// PromptEntity.
inline constexpr std::string_view kTitle = "title";
inline constexpr std::string_view kType = "type";
inline constexpr std::string_view kTags = "tags";
inline constexpr std::string_view kIsSystem = "isSystem";
inline constexpr std::string_view kUpdatedAt = "updatedAt";
inline constexpr std::string_view kVersions = "versions";

// VersionEntity.
inline constexpr std::string_view kPromptRef = "promptRef";
inline constexpr std::string_view kContent = "content";
inline constexpr std::string_view kNotes = "notes";
inline constexpr std::string_view kVersionNumber = "versionNumber";
inline constexpr std::string_view kPrompt = "prompt";

}  // namespace velloran::model
