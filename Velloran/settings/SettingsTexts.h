#pragma once
// Every text of the consent sheet, the settings sheet and the other-apps section, written exactly as
// users read them (UTF-8, German). The texts of the other-apps model (error, retry, empty) live with
// the model (OtherAppsViewModel.h).

namespace velloran::texts {

// Consent sheet
inline constexpr const char* kConsentTitle = "Datenschutz";
inline constexpr const char* kConsentClose = "Schließen";
inline constexpr const char* kConsentHeading = "Anonyme Nutzungsanalyse";
inline constexpr const char* kConsentExplanation =
    "Wir nutzen Beacon Analytics, um die App zu verbessern. Es werden keine Inhalte deiner Prompts "
    "gespeichert. Du kannst Analytics jederzeit in den Einstellungen deaktivieren.";
inline constexpr const char* kConsentAccept = "Ja, anonym teilen";
inline constexpr const char* kConsentDecline = "Nein, nicht teilen";
inline constexpr const char* kConsentFootnote =
    "Du kannst diese Entscheidung später über Einstellungen → Datenschutz ändern.";

// Settings sheet
inline constexpr const char* kSettingsTitle = "Einstellungen";
inline constexpr const char* kSettingsDone = "Fertig";
inline constexpr const char* kReviewCardTitle = "Unterstütze Velloran";
inline constexpr const char* kReviewCardText =
    "Wir fragen nur gelegentlich nach einer Bewertung und freuen uns über jedes Feedback.";
inline constexpr const char* kReviewButton = "Im App Store bewerten";
inline constexpr const char* kHintCardText =
    "Bewertungen helfen uns, den Fokus zu halten und neue Features zu priorisieren.";
inline constexpr const char* kPrivacyCardTitle = "Datenschutz";
inline constexpr const char* kPrivacyCardText =
    "Beacon Analytics hilft uns, die App zu verbessern. Inhalte deiner Prompts werden nicht übertragen. "
    "Du kannst jederzeit widersprechen.";
inline constexpr const char* kAnalyticsToggle = "Anonyme Nutzungsanalyse";
inline constexpr const char* kMissingReviewLinkTitle = "Bewertungs-Link fehlt";
inline constexpr const char* kMissingReviewLinkMessage =
    "Hinterlege eine gültige APP_STORE_ID im Info.plist, um direkt zum Bewertungsbildschirm zu springen.";
inline constexpr const char* kOK = "OK";

// Other-apps section
inline constexpr const char* kOtherAppsTitle = "Weitere Apps";
inline constexpr const char* kOtherAppsText =
    "Entdecke meine anderen Apps im App Store. Tippe, um direkt zur Produktseite zu springen.";

}  // namespace velloran::texts
