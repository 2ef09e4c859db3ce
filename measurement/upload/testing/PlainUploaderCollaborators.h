#pragma once
// The collaborators of an uploader under test, with the answers most tests leave alone: raw events
// are never bundled, the upload consent is given, the measurement app ID is `cnpAppID` and audiences
// are always taken. Tests set what they vary on the result.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "measurement/upload/BMSUploader.h"

namespace beacon::testing {

inline BMSUploader::Collaborators plainUploaderCollaborators(
    std::shared_ptr<CVUNetwork> network, std::shared_ptr<BMSScheduler> scheduler,
    std::shared_ptr<BMSAlarm> alarm, std::shared_ptr<BMSDatabase> database,
    std::function<std::shared_ptr<BMSRemoteConfig>()> remoteConfig,
    std::shared_ptr<BMSPersistedConfig> persistedConfig, std::shared_ptr<const platform::Clock> clock,
    std::string cnpAppID) {
  BMSUploader::Collaborators parts;
  parts.network = std::move(network);
  parts.scheduler = std::move(scheduler);
  parts.alarm = std::move(alarm);
  parts.database = std::move(database);
  parts.remoteConfig = std::move(remoteConfig);
  parts.persistedConfig = std::move(persistedConfig);
  parts.clock = std::move(clock);
  parts.isDebugModeEnabled = [] { return false; };
  parts.bundleRawEvents = [] { return false; };
  parts.uploadConsent = [] { return BMSUploadConsent{}; };
  parts.appIDFromCNP = [cnpAppID = std::move(cnpAppID)] { return std::optional<std::string>(cnpAppID); };
  parts.updateAudiences = [](const std::vector<BMSPBAudience>&) { return true; };
  return parts;
}

}  // namespace beacon::testing
