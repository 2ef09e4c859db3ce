// The configuration fetch of the uploader: a conditional GET of the configuration document, and
// what its answer does to the stored configuration, the validators and the upload pacing.

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/pipeline/BMSRawEventMetadata.h"
#include "measurement/upload/BMSUploader.h"

namespace beacon {
namespace {

// A configuration document is settings, audiences and small programs: far below this. A larger
// answer is cut off by the network layer and the fetch fails (ResponseTooLarge, no response).
constexpr std::size_t kMaximumConfigurationBytes = 2u * 1024u * 1024u;

std::int64_t contentLength(const platform::HttpResponse& response) {
  if (auto announced = response.headers.get("Content-Length")) {
    try {
      return std::stoll(*announced);
    } catch (const std::exception&) {
    }
  }
  return static_cast<std::int64_t>(response.body.size());
}

std::optional<std::string> nonEmpty(std::optional<std::string> value) {
  if (value && value->empty()) return std::nullopt;
  return value;
}

}  // namespace

void BMSUploader::fetchRemoteConfig() {
  const BMSRemoteConfig& settings = config();
  const std::optional<std::string> url = settings.remoteConfigURLWithPlatform(
      kBMSBundlePlatform, collaborators_.libraryVersion, collaborators_.runtimeVersion);
  if (!url) {
    BMSLog(2, 23125, "Invalid server URL to get configuration");
    return;
  }
  BMSLog(8, 23126, "Fetching configuration from the server");
  platform::HttpHeaders headers;
  const BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  if (auto lastModified = nonEmpty(persisted.configServerLastModifiedString()))
    headers.set("If-Modified-Since", *lastModified);
  if (auto etag = nonEmpty(persisted.configServerETag())) headers.set("If-None-Match", *etag);
  networkRequestPending_ = true;
  collaborators_.network->setTimeoutInterval(settings.networkTimeout());
  collaborators_.network->getURL(
      *url, headers, collaborators_.scheduler->workerQueue(), shouldUseBackgroundSession(),
      [weakSelf = weak_from_this()](const std::optional<platform::HttpResponse>& response,
                                    const std::optional<platform::Bytes>& data,
                                    const std::optional<platform::Error>& error) {
        auto self = weakSelf.lock();
        if (!self) return;
        self->networkRequestPending_ = false;
        self->networkRemoteConfigFetchCompletionHandler(response, data, error);
      },
      kMaximumConfigurationBytes);
}

void BMSUploader::networkRemoteConfigFetchCompletionHandler(
    const std::optional<platform::HttpResponse>& response, const std::optional<platform::Bytes>& data,
    const std::optional<platform::Error>& error) {
  const long status = response ? response->statusCode : 0;
  const double fetched = now();
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  BMSLog(8, 23127, "Fetched configuration. Status code", {static_cast<std::int64_t>(status)});
  // An error with any status (a reply cut off at the size bound, say) is a failed fetch: a document
  // that did not arrive whole is never taken for one that did.
  if (error || (status != 200 && status != 204 && status != 304 && status != 404)) {
    BMSLog(3, 23128, "Network request failed to fetch remote config. Code, Error",
           {static_cast<std::int64_t>(status), BMSContextFromError(error)});
    handleFailedConfigFetch(status, BMSContextFromError(error));
    return;
  }
  // The validators name the configuration in force: kept for a 304 (still the same one) and after a
  // body was applied, dropped when a body was refused - never pinned to a refused configuration.
  const auto keepValidators = [&] {
    persisted.setConfigServerLastModifiedString(response->headers.get("Last-Modified"));
    persisted.setConfigServerETag(response->headers.get("ETag"));
  };
  BMSDatabase& database = *collaborators_.database;
  platform::Result<void> stamped;
  if (status == 404 || status == 304) {
    if (status == 404) {
      BMSLog(3, 23130, "Configuration not found. Using default configuration");
    } else {
      BMSLog(8, 23131, "Configuration has not been modified. Using the same configuration. Code",
             {static_cast<std::int64_t>(status)});
      keepValidators();
    }
    stamped = database.updateRemoteConfigSuccessfulTimestamp(fetched);
    if (!stamped)
      BMSLog(1, 23132, "Failed to update config last set timestamp. Error",
             {BMSContextFromError(stamped.error())});
  } else {
    BMSLog(8, 23133, "Successfully fetched configuration from the server. Code, size",
           {static_cast<std::int64_t>(status), contentLength(*response)});
    if (data && !data->empty()) {
      if (!database.performTransaction([&] { return applyRemoteConfig(*data); })) {
        // A refused document is no fresh configuration: the fetch failed and is retried on the
        // upload schedule, while the configuration in force stays as old as it is.
        persisted.setConfigServerLastModifiedString(std::nullopt);
        persisted.setConfigServerETag(std::nullopt);
        handleFailedConfigFetch(status, platform::Value("The configuration document was refused"));
        return;
      }
      keepValidators();
      // The new configuration is published when its transaction commits; consent reads it then.
      if (collaborators_.updateConsentSettingsUtilWithRemoteConfig)
        collaborators_.updateConsentSettingsUtilWithRemoteConfig();
    }
    stamped = database.updateRemoteConfigSuccessfulTimestamp(fetched);
    if (!stamped)
      BMSLog(1, 23134, "Failed to set last set timestamp in database. Error",
             {BMSContextFromError(stamped.error())});
  }
  persisted.setLastFailedUploadTimestamp(0);
  persisted.setLastBackoffTimestamp(0);
  suspendedUploadTimestamp_ = stamped ? 0 : collaborators_.clock->secondsSinceBoot();
  if (!collaborators_.afterConfigFetch || !collaborators_.afterConfigFetch()) uploadDataOrRegisterAlarm();
  if (collaborators_.setTCFDMARegion) collaborators_.setTCFDMARegion(config().isDMARegion());
}

void BMSUploader::handleFailedConfigFetch(long status, const platform::Value& reason) {
  const double failed = now();
  BMSPersistedConfig& persisted = *collaborators_.persistedConfig;
  // The same stamps that pace uploads: a failed fetch waits out the retry steps and the back-off.
  persisted.setLastFailedUploadTimestamp(failed);
  if (status == 503 || status == 429) persisted.setLastBackoffTimestamp(failed);
  BMSLog(3, 23129, "Network fetch failed. Will retry later. Code, error",
         {static_cast<std::int64_t>(status), reason});
  rescheduleAfterFailure();
}

bool BMSUploader::applyRemoteConfig(const platform::Bytes& body) {
  auto decoded = BMSPBMeasurementConfig::initWithBuffer(body);
  if (!decoded || !decoded->protoBuffer()) {
    BMSLog(2, 23135, "Configuration data is invalid.");
    return false;
  }
  BMSPBMeasurementConfig configuration = std::move(*decoded);
  const std::optional<std::string> expectedAppID =
      collaborators_.appIDFromCNP ? collaborators_.appIDFromCNP() : std::nullopt;
  if (NANOGetString(configuration, MeasurementConfigField::kCNPAppID) != expectedAppID) {
    BMSLog(2, 23136, "Configuration does not have valid Corvane App ID.");
    return false;
  }
  const auto audiences = NANOGetArray<BMSPBAudience>(configuration, MeasurementConfigField::kAudiences);
  NANOClearField(configuration, MeasurementConfigField::kAudiences);
  const auto rest = configuration.protoBuffer();
  if (!rest || !config().updateMeasurementConfig(*rest)) {
    BMSLog(2, 23138, "Failed to update configuration with new server configuration",
           {static_cast<std::int64_t>(body.size())});
    return false;
  }
  if (collaborators_.updateAudiences && !collaborators_.updateAudiences(audiences)) {
    BMSLog(2, 23137, "Failed to update audiences with new server configuration");
    return false;
  }
  return true;
}

}  // namespace beacon
