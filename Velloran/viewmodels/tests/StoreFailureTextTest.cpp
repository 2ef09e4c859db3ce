#include "Velloran/viewmodels/StoreFailureText.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "Velloran/data/PromptError.h"

namespace velloran {
namespace {

platform::Error engineError(std::int64_t code, std::string description = "engine says no") {
  return platform::Error("SQLiteErrorDomain", code, std::move(description));
}

TEST(StoreFailureTextTest, AFullDiskSaysSoWhereverItWasNoticed) {
  const std::string full = "Der Datenträger ist voll.";
  EXPECT_EQ(storeFailureReason(engineError(13, "database or disk is full")), full);

  platform::Error wrapped("PersistentStoreErrorDomain", 134070, "Die Sicherung schlug fehl");
  wrapped.causedBy(engineError(13));
  EXPECT_EQ(storeFailureReason(wrapped), full);

  // A layer that wrote a file itself reports the system's errno; an engine I/O fault around it
  // must not hide that the disk is full.
  platform::Error noSpace("SomeFileLayer", 4, "write failed",
                          {{std::string(platform::kErrnoKey), platform::Value(ENOSPC)}});
  EXPECT_EQ(storeFailureReason(noSpace), full);
  platform::Error ioAroundNoSpace = engineError(10, "disk I/O error");
  ioAroundNoSpace.causedBy(noSpace);
  EXPECT_EQ(storeFailureReason(ioAroundNoSpace), full);
}

TEST(StoreFailureTextTest, OtherEngineFailuresNameTheirCauseInGerman) {
  EXPECT_EQ(storeFailureReason(engineError(8)), "Der Speicherort ist schreibgeschützt.");
  EXPECT_EQ(storeFailureReason(engineError(5)),
            "Die Bibliothek ist gerade von einem anderen Vorgang belegt.");
  EXPECT_EQ(storeFailureReason(engineError(6)),
            "Die Bibliothek ist gerade von einem anderen Vorgang belegt.");
  EXPECT_EQ(storeFailureReason(engineError(11)), "Die Bibliotheksdatei ist beschädigt.");
  EXPECT_EQ(storeFailureReason(engineError(26)), "Die Bibliotheksdatei ist beschädigt.");
  EXPECT_EQ(storeFailureReason(engineError(14)), "Die Bibliotheksdatei lässt sich nicht öffnen.");
  EXPECT_EQ(storeFailureReason(engineError(10)), "Der Datenträger meldet einen Lese- oder Schreibfehler.");
  // An errno other than "no space" is no full disk.
  EXPECT_EQ(
      storeFailureReason(platform::Error("SomeFileLayer", 4, "Zugriff verweigert",
                                         {{std::string(platform::kErrnoKey), platform::Value(EACCES)}})),
      "Zugriff verweigert");
}

TEST(StoreFailureTextTest, TheInnermostCauseThatSaysMoreWinsElseTheOwnDescription) {
  platform::Error outer("PersistentStoreErrorDomain", 134070, "store operation failed");
  outer.causedBy(engineError(8));
  EXPECT_EQ(storeFailureReason(outer), "Der Speicherort ist schreibgeschützt.");

  EXPECT_EQ(storeFailureReason(makeError(PromptError::persistenceFailed)), "Persistenz fehlgeschlagen.");
  EXPECT_EQ(storeFailureReason(engineError(1, "no such table: ZPROMPT")), "no such table: ZPROMPT");

  EXPECT_EQ(storeFailureMessage("Prompt konnte nicht angelegt werden: ", engineError(13)),
            "Prompt konnte nicht angelegt werden: Der Datenträger ist voll.");
}

}  // namespace
}  // namespace velloran
