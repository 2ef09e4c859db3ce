#pragma once
// Every text the library's views show, written exactly as users read them (UTF-8, German, with their
// own ellipsis and dash characters). Texts that take a value are filled in one pass by fillText, so
// "%1" inside the value (a prompt title, say) is never read as a placeholder.
//
// The type names "System", "User" and "Custom Role" are not here: they are PromptType's display
// names, shown untranslated.

#include "Velloran/ui/UiText.h"

namespace velloran::texts {

// Library window
inline constexpr const char* kLibraryTitle = "Prompts";
inline constexpr const char* kSettings = "Einstellungen";
inline constexpr const char* kFilter = "Filter";
inline constexpr const char* kSearchPlaceholder = "Prompts durchsuchen";
inline constexpr const char* kEmptyTitle = "Noch keine Prompts";
inline constexpr const char* kEmptyMessage = "Lege deinen ersten Prompt an, inkl. Versionierung und Tags.";
inline constexpr const char* kCreatePrompt = "Prompt anlegen";
inline constexpr const char* kHint =
    "Tippen kopiert. Long-Press oder Wisch nach links öffnet ChatGPT/Bearbeiten/Löschen.";
inline constexpr const char* kLoading = "Laden…";
inline constexpr const char* kSyncNowHint = "Jetzt synchronisieren: F5 oder Strg+R";
inline constexpr const char* kCopiedToastFormat = "Prompt kopiert: %1";
inline constexpr const char* kDeleteQuestion = "Diesen Prompt wirklich löschen?";
inline constexpr const char* kDelete = "Löschen";
inline constexpr const char* kCancel = "Abbrechen";
inline constexpr const char* kResetFilter = "Filter zurücksetzen";
inline constexpr const char* kTypeSection = "Art";
inline constexpr const char* kAllTypes = "Alle Typen";
inline constexpr const char* kTagsSection = "Tags";
inline constexpr const char* kAllTags = "Alle Tags";
inline constexpr const char* kDiscardAndQuitQuestion = "Nicht gespeicherte Eingaben verwerfen und beenden?";
inline constexpr const char* kDiscard = "Verwerfen";
inline constexpr const char* kCloseNotice = "Hinweis schließen";

// Card
inline constexpr const char* kOpenInChatButton = "ChatGPT";
inline constexpr const char* kEdit = "Bearbeiten";
inline constexpr const char* kCopyPromptAction = "Prompt kopieren";
inline constexpr const char* kOpenInChatAction = "In ChatGPT öffnen";
inline constexpr const char* kEditPromptAction = "Prompt bearbeiten";

// Create sheet and editor
inline constexpr const char* kSave = "Speichern";
inline constexpr const char* kMasterDataAndContent = "Stammdaten & Inhalt";
inline constexpr const char* kTitlePlaceholder = "Titel";
inline constexpr const char* kTypePicker = "Typ";
inline constexpr const char* kNewTagsPlaceholder = "z. B. safety, review";
inline constexpr const char* kPromptContent = "Prompt-Inhalt";
inline constexpr const char* kDetailsTitle = "Details";
inline constexpr const char* kEditTagsPlaceholder = "Tags";
inline constexpr const char* kCurrentVersion = "Aktuelle Version";
inline constexpr const char* kAutosaveNote =
    "Tags und Stammdaten werden automatisch gespeichert. Speichern legt nur für den Prompt-Text eine neue "
    "Version an.";
inline constexpr const char* kOlderVersions = "Ältere Versionen";
inline constexpr const char* kNoOlderVersions = "Noch keine früheren Versionen.";
inline constexpr const char* kOlderVersionSingular = "%1 ältere Version";
inline constexpr const char* kOlderVersionsPlural = "%1 ältere Versionen";
inline constexpr const char* kTapToShow = "Tippe, um sie anzuzeigen.";
inline constexpr const char* kTapToHide = "Tippe, um sie auszublenden.";
inline constexpr const char* kCopyToClipboard = "In Zwischenablage kopieren";
inline constexpr const char* kActions = "Aktionen";
inline constexpr const char* kDeletePrompt = "Prompt löschen";

}  // namespace velloran::texts
