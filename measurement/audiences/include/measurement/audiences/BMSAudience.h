#pragma once
// Audiences of the downloaded configuration. This build keeps the audience definitions the
// configuration sends - in the measurement database, so they survive restarts - but evaluates
// none of them: every evaluation succeeds without effect and bundling gets no audience results, so
// bundles carry none. The calls stay so the engine keeps its one road through evaluation.
//
// Made and used on the engine's worker queue, like the database it keeps its table in.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSEventAggregates.h"
#include "measurement/messages/NANOMessage.h"
#include "platform/error/Result.h"

namespace beacon {

class BMSDatabase;

// What evaluations of one bundle share about sequence filters; made empty for each bundle. With no
// evaluation in this build it stays empty.
class BMSAudienceTimestampsCache {
 public:
  bool empty() const { return true; }
};

class BMSAudience {
 public:
  // Nothing without a database.
  static std::shared_ptr<BMSAudience> initWithDatabase(std::shared_ptr<BMSDatabase> database);

  // Replaces every stored audience with these, in one transaction. False (logged, the old ones kept)
  // when one cannot be encoded or stored.
  bool updateAudiences(const std::vector<BMSPBAudience>& audiences);
  // The stored audiences in audience ID order.
  platform::Result<std::vector<BMSPBAudience>> storedAudiences();

  bool evaluateFiltersForEvent(const BMSEvent& event, const BMSEventAggregates& eventAggregates,
                               BMSAudienceTimestampsCache& cache);
  bool evaluateFiltersForNanoUserProperty(const BMSPBUserAttribute& userAttribute,
                                          BMSAudienceTimestampsCache* cache,
                                          std::optional<double> evaluationTime);
  // The audience results to put into the next bundle; always none here.
  bool resultsForBundling(std::vector<BMSPBAudienceResult>& results);
  void clearEvaluationResultsForSessionScopedFilters();

 private:
  explicit BMSAudience(std::shared_ptr<BMSDatabase> database) : database_(std::move(database)) {}

  std::shared_ptr<BMSDatabase> database_;
};

}  // namespace beacon
