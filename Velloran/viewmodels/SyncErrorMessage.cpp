#include "Velloran/viewmodels/SyncErrorMessage.h"

#include "Velloran/data/PromptError.h"
#include "platform/mirror/CloudMirrorError.h"
#include "platform/pstore/PersistentStoreError.h"
#include "platform/text/Format.h"

namespace velloran {
namespace {

constexpr const char* kTemporarilyUnavailable = "iCloud temporär nicht verfügbar";
constexpr const char* kNoAccount = "Kein iCloud Account";
constexpr const char* kBannerFormat = "Sync-Fehler: %@";

// The service being away counts as temporary too, like the network; our mirror has no such
// failure of its own, but the wording keeps the full rule.
constexpr std::int64_t kServiceUnavailable = 6;

std::string cloudErrorMessage(std::int64_t code) {
  using Code = platform::CloudMirrorErrorCode;
  if (code == static_cast<std::int64_t>(Code::NetworkUnavailable) ||
      code == static_cast<std::int64_t>(Code::NetworkFailure) || code == kServiceUnavailable) {
    return kTemporarilyUnavailable;
  }
  if (code == static_cast<std::int64_t>(Code::NotAuthenticated)) return kNoAccount;
  return std::string(localizedDescription(PromptError::syncUnavailable));
}

bool isStoreError(const platform::Error& error) {
  return error.domain == platform::kPersistentStoreErrorDomain ||
         error.domain == platform::kSQLiteErrorDomain;
}

}  // namespace

std::string syncErrorMessage(const platform::Error& error) {
  if (const auto own = promptError(error)) return std::string(localizedDescription(*own));
  if (error.domain == platform::kCloudMirrorErrorDomain) return cloudErrorMessage(error.code);
  if (isStoreError(error)) return std::string(localizedDescription(PromptError::syncUnavailable));
  return error.description;
}

std::string syncFailureBannerText(const platform::Error& error) {
  return platform::format(kBannerFormat, syncErrorMessage(error));
}

}  // namespace velloran
