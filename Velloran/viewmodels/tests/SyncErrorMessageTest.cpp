#include "Velloran/viewmodels/SyncErrorMessage.h"

#include <gtest/gtest.h>

#include "Velloran/data/PromptError.h"
#include "Velloran/data/SyncProblem.h"
#include "Velloran/viewmodels/SyncBanner.h"

namespace velloran {
namespace {

platform::Error problemError(SyncProblem problem) {
  return makeSyncProblemError(problem, platform::Error("CloudMirrorErrorDomain", 3, "mirror says no"));
}

TEST(SyncErrorMessageTest, PromptErrorsShowTheirOwnGermanDescription) {
  EXPECT_EQ(syncErrorMessage(makeError(PromptError::notFound)), "Eintrag nicht gefunden.");
  EXPECT_EQ(syncErrorMessage(makeError(PromptError::invalidData)), "Ungültige Daten.");
}

TEST(SyncErrorMessageTest, SyncProblemsShowTheirGermanText) {
  EXPECT_EQ(syncErrorMessage(problemError(SyncProblem::temporarilyUnavailable)),
            "iCloud temporär nicht verfügbar");
  EXPECT_EQ(syncErrorMessage(problemError(SyncProblem::noAccount)), "Kein iCloud Account");
  EXPECT_EQ(syncErrorMessage(problemError(SyncProblem::unavailable)), "Sync aktuell nicht verfügbar.");
  EXPECT_EQ(
      syncErrorMessage(problemError(SyncProblem::clockAhead)),
      "Die Uhr dieses Geräts ging vor: andere Geräte übernehmen seine Änderungen erst, wenn ihre Uhr so "
      "weit ist.");
}

TEST(SyncErrorMessageTest, OtherDomainsShowTheErrorsOwnDescription) {
  // A code that means something in the sync problems' domain means nothing here.
  EXPECT_EQ(syncErrorMessage(platform::Error("platform.net", 9, "Verbindung abgebrochen")),
            "Verbindung abgebrochen");
  EXPECT_EQ(syncErrorMessage(platform::Error("platform.net", 9, "")), "");
}

TEST(SyncErrorMessageTest, BannerTextFillsTheFormatOnceAndLeavesPercentSignsInTheMessageAlone) {
  EXPECT_EQ(syncFailureBannerText(problemError(SyncProblem::noAccount)), "Sync-Fehler: Kein iCloud Account");
  EXPECT_EQ(syncFailureBannerText(platform::Error("x", 1, "100% %@ kaputt")), "Sync-Fehler: 100% %@ kaputt");
}

TEST(SyncBannerTest, EqualWhenTextsAreCanonicallyEqualAndFlagsMatch) {
  EXPECT_EQ((SyncBanner{"\xC3\xBC", true}), (SyncBanner{"u\xCC\x88", true}));
  EXPECT_NE((SyncBanner{"Fehler", true}), (SyncBanner{"Fehler", false}));
  EXPECT_NE((SyncBanner{"Fehler", true}), (SyncBanner{"fehler", true}));
}

}  // namespace
}  // namespace velloran
