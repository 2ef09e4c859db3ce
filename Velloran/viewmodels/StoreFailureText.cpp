#include "Velloran/viewmodels/StoreFailureText.h"

#include <cerrno>
#include <optional>
#include <vector>

#include "Velloran/data/PromptError.h"
#include "platform/sqlite/SqliteConnection.h"

namespace velloran {
namespace {

constexpr const char* kDiskFull = "Der Datenträger ist voll.";
constexpr const char* kReadOnly = "Der Speicherort ist schreibgeschützt.";
constexpr const char* kNoPermission = "Keine Berechtigung, in die Bibliothek zu schreiben.";
constexpr const char* kBusy = "Die Bibliothek ist gerade von einem anderen Vorgang belegt.";
constexpr const char* kDamaged = "Die Bibliotheksdatei ist beschädigt.";
constexpr const char* kCannotOpen = "Die Bibliotheksdatei lässt sich nicht öffnen.";
constexpr const char* kDiskFault = "Der Datenträger meldet einen Lese- oder Schreibfehler.";

// The failure and its causes, outermost first.
std::vector<const platform::Error*> chainOf(const platform::Error& error) {
  std::vector<const platform::Error*> chain;
  for (const platform::Error* link = &error; link != nullptr; link = link->underlying.get()) {
    chain.push_back(link);
  }
  return chain;
}

bool reportsNoSpace(const platform::Error& error) {
  if (error.domain == platform::kSQLiteErrorDomain && error.code == SQLITE_FULL) return true;
  return error.systemErrorNumber() == ENOSPC;
}

std::optional<std::string> engineReason(const platform::Error& error) {
  if (error.domain != platform::kSQLiteErrorDomain) return std::nullopt;
  switch (error.code) {
    case SQLITE_READONLY:
      return kReadOnly;
    case SQLITE_PERM:
      return kNoPermission;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return kDamaged;
    case SQLITE_CANTOPEN:
      return kCannotOpen;
    case SQLITE_IOERR:
      return kDiskFault;
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string storeFailureReason(const platform::Error& error) {
  // A full disk is what the user can mend, whichever layer noticed it.
  if (reportsFullDisk(error)) return kDiskFull;
  const std::vector<const platform::Error*> chain = chainOf(error);
  for (auto link = chain.rbegin(); link != chain.rend(); ++link) {
    if (std::optional<std::string> reason = engineReason(**link)) return *reason;
    if (const auto own = promptError(**link)) return std::string(localizedDescription(*own));
  }
  return error.description;
}

bool reportsFullDisk(const platform::Error& error) {
  for (const platform::Error* link : chainOf(error)) {
    if (reportsNoSpace(*link)) return true;
  }
  return false;
}

std::string storeFailureMessage(std::string_view action, const platform::Error& error) {
  return std::string(action) + storeFailureReason(error);
}

}  // namespace velloran
