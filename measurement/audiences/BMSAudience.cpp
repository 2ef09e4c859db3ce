#include "measurement/audiences/BMSAudience.h"

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"

namespace beacon {
namespace {

constexpr std::int64_t kAudienceStorageFailed = 6001;
constexpr std::int64_t kAudienceEncodingFailed = 6002;

}  // namespace

std::shared_ptr<BMSAudience> BMSAudience::initWithDatabase(std::shared_ptr<BMSDatabase> database) {
  if (!database) return nullptr;
  return std::shared_ptr<BMSAudience>(new BMSAudience(std::move(database)));
}

bool BMSAudience::updateAudiences(const std::vector<BMSPBAudience>& audiences) {
  std::vector<BMSDatabase::StoredAudience> stored;
  for (const auto& audience : audiences) {
    auto bytes = audience.protoBuffer();
    if (!bytes) {
      BMSLog(1, kAudienceEncodingFailed, "Audience cannot be encoded. Audiences not updated");
      return false;
    }
    stored.push_back({NANOGetInt32(audience, AudienceField::kAudienceID), std::move(*bytes)});
  }
  if (auto replaced = database_->replaceAudiences(stored); !replaced) {
    BMSLog(1, kAudienceStorageFailed, "Failed to store audiences", {BMSContextFromError(replaced.error())});
    return false;
  }
  return true;
}

platform::Result<std::vector<BMSPBAudience>> BMSAudience::storedAudiences() {
  auto stored = database_->audiences();
  if (!stored) return stored.error();
  std::vector<BMSPBAudience> audiences;
  for (const auto& one : *stored) {
    if (auto audience = BMSPBAudience::initWithBuffer(one.definition))
      audiences.push_back(std::move(*audience));
    else
      // Left out; the next configuration replaces it.
      BMSLog(2, kAudienceStorageFailed, "Stored audience cannot be decoded and is skipped", {one.audienceID});
  }
  return audiences;
}

bool BMSAudience::evaluateFiltersForEvent(const BMSEvent&, const BMSEventAggregates&,
                                          BMSAudienceTimestampsCache&) {
  return true;
}

bool BMSAudience::evaluateFiltersForNanoUserProperty(const BMSPBUserAttribute&, BMSAudienceTimestampsCache*,
                                                     std::optional<double>) {
  return true;
}

bool BMSAudience::resultsForBundling(std::vector<BMSPBAudienceResult>& results) {
  results.clear();
  return true;
}

void BMSAudience::clearEvaluationResultsForSessionScopedFilters() {}

}  // namespace beacon
