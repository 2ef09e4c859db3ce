#include "Velloran/viewmodels/SyncErrorMessage.h"

#include "Velloran/data/PromptError.h"
#include "Velloran/data/SyncProblem.h"
#include "platform/text/Format.h"

namespace velloran {
namespace {

constexpr const char* kTemporarilyUnavailable = "iCloud temporär nicht verfügbar";
constexpr const char* kNoAccount = "Kein iCloud Account";
constexpr const char* kClockAhead =
    "Die Uhr dieses Geräts ging vor: andere Geräte übernehmen seine Änderungen erst, wenn ihre Uhr so weit "
    "ist.";
constexpr const char* kBannerFormat = "Sync-Fehler: %@";

std::string problemMessage(SyncProblem problem) {
  switch (problem) {
    case SyncProblem::temporarilyUnavailable:
      return kTemporarilyUnavailable;
    case SyncProblem::noAccount:
      return kNoAccount;
    case SyncProblem::clockAhead:
      return kClockAhead;
    case SyncProblem::unavailable:
      break;
  }
  return std::string(localizedDescription(PromptError::syncUnavailable));
}

}  // namespace

std::string syncErrorMessage(const platform::Error& error) {
  if (const auto own = promptError(error)) return std::string(localizedDescription(*own));
  if (const auto problem = syncProblem(error)) return problemMessage(*problem);
  return error.description;
}

std::string syncFailureBannerText(const platform::Error& error) {
  return platform::format(kBannerFormat, syncErrorMessage(error));
}

}  // namespace velloran
