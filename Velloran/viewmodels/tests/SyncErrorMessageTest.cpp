#include "Velloran/viewmodels/SyncErrorMessage.h"

#include <gtest/gtest.h>

#include "Velloran/data/PromptError.h"
#include "Velloran/viewmodels/SyncBanner.h"
#include "platform/mirror/CloudMirrorError.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran {
namespace {

platform::Error cloudError(std::int64_t code) {
  return platform::Error(std::string(platform::kCloudMirrorErrorDomain), code, "mirror says no");
}

TEST(SyncErrorMessageTest, PromptErrorsShowTheirOwnGermanDescription) {
  EXPECT_EQ(syncErrorMessage(makeError(PromptError::notFound)), "Eintrag nicht gefunden.");
  EXPECT_EQ(syncErrorMessage(makeError(PromptError::invalidData)), "Ungültige Daten.");
}

TEST(SyncErrorMessageTest, MirroringFailuresAreToldApartByCode) {
  EXPECT_EQ(syncErrorMessage(cloudError(3)), "iCloud temporär nicht verfügbar");
  EXPECT_EQ(syncErrorMessage(cloudError(4)), "iCloud temporär nicht verfügbar");
  EXPECT_EQ(syncErrorMessage(cloudError(6)), "iCloud temporär nicht verfügbar");
  EXPECT_EQ(syncErrorMessage(cloudError(9)), "Kein iCloud Account");
  EXPECT_EQ(syncErrorMessage(cloudError(7)), "Sync aktuell nicht verfügbar.");
  EXPECT_EQ(syncErrorMessage(cloudError(0)), "Sync aktuell nicht verfügbar.");
}

TEST(SyncErrorMessageTest, StoreFailuresOfAnyCodeAreUnavailableWhateverTheirDescription) {
  EXPECT_EQ(syncErrorMessage(platform::persistentStoreError(platform::PersistentStoreErrorCode::MergeConflict,
                                                            "conflict")),
            "Sync aktuell nicht verfügbar.");
  EXPECT_EQ(
      syncErrorMessage(platform::Error(std::string(platform::kSQLiteErrorDomain), 26, "not a database")),
      "Sync aktuell nicht verfügbar.");
}

TEST(SyncErrorMessageTest, OtherDomainsShowTheErrorsOwnDescription) {
  // A code that means something in the mirroring's domain means nothing here.
  EXPECT_EQ(syncErrorMessage(platform::Error("platform.net", 9, "Verbindung abgebrochen")),
            "Verbindung abgebrochen");
  EXPECT_EQ(syncErrorMessage(platform::Error("platform.net", 9, "")), "");
}

TEST(SyncErrorMessageTest, BannerTextFillsTheFormatOnceAndLeavesPercentSignsInTheMessageAlone) {
  EXPECT_EQ(syncFailureBannerText(cloudError(9)), "Sync-Fehler: Kein iCloud Account");
  EXPECT_EQ(syncFailureBannerText(platform::Error("x", 1, "100% %@ kaputt")), "Sync-Fehler: 100% %@ kaputt");
}

TEST(SyncBannerTest, EqualWhenTextsAreCanonicallyEqualAndFlagsMatch) {
  EXPECT_EQ((SyncBanner{"\xC3\xBC", true}), (SyncBanner{"u\xCC\x88", true}));
  EXPECT_NE((SyncBanner{"Fehler", true}), (SyncBanner{"Fehler", false}));
  EXPECT_NE((SyncBanner{"Fehler", true}), (SyncBanner{"fehler", true}));
}

}  // namespace
}  // namespace velloran
