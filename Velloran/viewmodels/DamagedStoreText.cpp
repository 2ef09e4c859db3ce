#include "Velloran/viewmodels/DamagedStoreText.h"

#include "platform/text/Format.h"

namespace velloran {
namespace {

constexpr const char* kRestoring =
    "Die Bibliothek war beschädigt und wird aus dem Sync-Ordner wiederhergestellt.";
constexpr const char* kDamaged = "Die Bibliothek war beschädigt.";
constexpr const char* kNoneRestored = " Aus dem Sync-Ordner konnte kein Prompt wiederhergestellt werden.";
constexpr const char* kOneRestored = " 1 Prompt wurde aus dem Sync-Ordner wiederhergestellt.";
constexpr const char* kSomeRestoredFormat = " %@ Prompts wurden aus dem Sync-Ordner wiederhergestellt.";
constexpr const char* kKeptAtFormat = " Die beschädigte Datei liegt unter %@.";

std::string restoredSentence(std::optional<std::size_t> restored) {
  if (!restored) return {};
  switch (*restored) {
    case 0:
      return kNoneRestored;
    case 1:
      return kOneRestored;
    default:
      return platform::format(kSomeRestoredFormat, *restored);
  }
}

}  // namespace

std::string damagedStoreRestoringText(const std::string& keptAt) {
  return kRestoring + platform::format(kKeptAtFormat, keptAt);
}

std::string damagedStoreRestoredText(const std::string& keptAt, std::optional<std::size_t> restored) {
  return kDamaged + restoredSentence(restored) + platform::format(kKeptAtFormat, keptAt);
}

}  // namespace velloran
