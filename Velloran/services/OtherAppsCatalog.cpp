#include "Velloran/services/OtherAppsCatalog.h"

#include <array>

namespace velloran {
namespace {

struct CatalogEntry {
  std::int64_t id;
  const char* description;
};

// One table, so the ID list and the description keys cannot drift apart.
constexpr std::array<CatalogEntry, 5> kCatalog{{
    {6446021387, "Notizen und Ideen blitzschnell festhalten und übersichtlich ordnen."},
    {6449318852, "Ein Fokus-Timer mit sanften Pausen für konzentriertes Arbeiten."},
    {6451177409, "Gewohnheiten Tag für Tag aufbauen und Fortschritte sichtbar machen."},
    {6463904126, "Ausgaben in Sekunden erfassen und das Monatsbudget im Blick behalten."},
    {6470258813, "Vokabeln mit kurzen täglichen Lerneinheiten zuverlässig wiederholen."},
}};

}  // namespace

std::vector<std::string> otherAppIDs() {
  std::vector<std::string> ids;
  for (const CatalogEntry& entry : kCatalog) ids.push_back(std::to_string(entry.id));
  return ids;
}

std::map<std::int64_t, std::string> otherAppDescriptions() {
  std::map<std::int64_t, std::string> descriptions;
  for (const CatalogEntry& entry : kCatalog) descriptions.emplace(entry.id, entry.description);
  return descriptions;
}

}  // namespace velloran
