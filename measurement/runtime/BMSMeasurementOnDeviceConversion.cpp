// On-device conversion measurement: the engine hands the user's e-mail address or phone number to
// the optional component "BMSPrivateSetMembershipClient", sends the GET it builds through the
// engine's network (one request of the engine at a time, uploads included), and keeps a match as
// "_psmvalue" with the real-time event "_fx". Failed requests are retried with a doubling delay.
// Everything here runs on the worker queue; the counts live in memory for the process.

#include <algorithm>
#include <array>

#include "measurement/engine/BMSAEU.h"
#include "measurement/engine/BMSAlarm.h"
#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"
#include "measurement/engine/BMSEventOrigins.h"
#include "measurement/engine/BMSMonitor.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/runtime/BMSPrivateSetMembershipClient.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "platform/process/ProcessInfo.h"
#include "platform/time/StampAge.h"
#include "sdk-utilities/network/CVUNetwork.h"

namespace beacon {

struct BMSOnDeviceConversionState {
  std::shared_ptr<BMSPrivateSetMembershipClient> privateSetMembershipClient;
  bool isPSMRequestInProgress = false;
  bool isPSMRequestPostponed = false;
  // Requests started in this process, and failed attempts of the current client.
  std::int32_t PSMStartCount = 0;
  std::int32_t PSMRetryCount = 0;
  std::unique_ptr<BMSAlarm> PSMRetryAlarm;
};

namespace {

constexpr const char* kPSMValueName = "_psmvalue";
constexpr const char* kConversionEventName = "_fx";
constexpr const char* kConversionSourceParameter = "_fxs";
constexpr const char* kConversionSource = "psm";
constexpr const char* kRetryAlarmName = "On-device conversion measurement timer";
constexpr const char* kUserDataBlockID = "BMSMeasurement:3105";
constexpr const char* kDebugArgument = "-DebugOnDeviceConversionMeasurement";
constexpr double kPSMValueLifetimeSeconds = 7776000;
constexpr double kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerMinute = 60;

constexpr const char* kNotLinkedMessage =
    "Failed to initiate on-device conversion measurement. CorvaneAppMeasurementOnDeviceConversion dependency "
    "not linked in.";

// The user property counting a client's requests, and the query key that reports it.
struct PSMCounter {
  const char* property;
  const char* queryKey;
};

constexpr std::array<PSMCounter, 4> kCounters{{{"_psmcount", "psm_count"},
                                               {"_psmcountph", "psm_phone_count"},
                                               {"_psmcounth", "psm_count"},
                                               {"_psmcounthph", "psm_phone_count"}}};

const PSMCounter& counterFor(std::int64_t inputType) {
  switch (static_cast<BMSPSMInputType>(inputType)) {
    case BMSPSMInputType::PhoneNumber:
      return kCounters[1];
    case BMSPSMInputType::HashedEmailAddress:
      return kCounters[2];
    case BMSPSMInputType::HashedPhoneNumber:
      return kCounters[3];
    default:
      return kCounters[0];
  }
}

bool isAnswer(std::int64_t status) {
  return status == 200 || status == 204 || status == 304;
}

// A plain identifier is text; a hashed one the digest's bytes (as hex text) or hex text already.
std::optional<std::string> identifierIn(const platform::Dictionary& userData, const char* key, bool hashed) {
  const auto found = userData.find(key);
  if (found == userData.end()) return std::nullopt;
  if (const std::string* text = found->second.asString()) return *text;
  if (const platform::Bytes* bytes = hashed ? found->second.asBytes() : nullptr)
    return BMSLowerHexString(*bytes);
  return std::nullopt;
}

// The stored user property, when there is one and it can be read.
std::optional<BMSUserAttribute> storedProperty(BMSDatabase& database, const std::string& name) {
  platform::Result<std::optional<BMSUserAttribute>> stored = database.userAttributeWithName(name);
  return stored ? *stored : std::nullopt;
}

// A stored integer property; 0 when there is none.
std::int64_t storedCount(BMSDatabase& database, const std::string& name) {
  const std::optional<BMSUserAttribute> stored = storedProperty(database, name);
  return stored && stored->value().isInt64() ? stored->value().int64Value() : 0;
}

bool hasLaunchArgument(const char* argument) {
  const std::vector<std::string> arguments = platform::ProcessInfo::arguments();
  return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
}

}  // namespace

BMSOnDeviceConversionState& BMSMeasurement::onDeviceConversion() {
  if (!onDeviceConversion_) onDeviceConversion_ = std::make_shared<BMSOnDeviceConversionState>();
  return *onDeviceConversion_;
}

BMSPrivateSetMembershipClientClass* BMSMeasurement::PSMClientClass() const {
  const platform::ClassEntry* entry = context_.classes().lookup(kBMSPrivateSetMembershipClientClassName);
  return entry ? entry->facet<BMSPrivateSetMembershipClientClass>() : nullptr;
}

void BMSMeasurement::checkPSMDependencyOnWorkerQueue() {
  if (PSMClientClass()) {
    BMSLog(
        7, 23253,
        "CorvaneAppMeasurementOnDeviceConversion dependency is linked. On-device conversion measurement is "
        "ready to initiate.");
    return;
  }
  if (storedProperty(*database_, kCounters[0].property) ||
      storedProperty(*database_, kCounters[1].property)) {
    BMSLog(4, 23254,
           "CorvaneAppMeasurementOnDeviceConversion dependency is not currently linked. On-device conversion "
           "measurement will fail to initiate.");
  }
}

bool BMSMeasurement::shouldRetrievePSMResponse() {
  if (!PSMClientClass()) {
    BMSLog(1, 23233, kNotLinkedMessage);
    return false;
  }
  const std::shared_ptr<BMSRemoteConfig> config = remoteConfigInstance();
  if (!config->PSMFeatureEnabled()) return false;
  const std::int64_t firstOpenMillis = persistedConfig_->firstOpenTimestampMilliseconds();
  const double firstOpen = firstOpenMillis != 0 ? firstOpenMillis / 1000.0 : initTimestamp_;
  if (platform::secondsFromStampEitherWay(firstOpen, context_.nowSince1970()) >
      static_cast<double>(config->maxSignInDelayInDays()) * kSecondsPerDay) {
    BMSLog(
        1, 23261,
        "Failed to initiate on-device conversion measurement. Attempted to initiate outside the first open "
        "window.");
    return false;
  }
  const BMSOnDeviceConversionState& state = onDeviceConversion();
  if (state.isPSMRequestInProgress) {
    BMSLog(1, 23235,
           "Failed to initiate on-device conversion measurement. Request to query data set for on-device "
           "conversion measurement already in progress.");
    return false;
  }
  if (state.PSMStartCount >= config->maxPSMStartCount(monitor()->isDebugModeEnabled())) {
    BMSLog(1, 23236, "Failed to initiate on-device conversion measurement. Exceeded limit per app run.");
    return false;
  }
  if (storedProperty(*database_, kPSMValueName)) {
    BMSLog(1, 23237, "Failed to initiate on-device conversion measurement. Found existing match.");
    return false;
  }
  if (state.PSMRetryCount >= config->maxPSMRetryCount()) {
    BMSLog(1, 23238, "Failed to initiate on-device conversion measurement. Exceeded retry limit.");
    return false;
  }
  return true;
}

bool BMSMeasurement::shouldRetrievePSMResponseWithEmailAddress(const std::string& emailAddress) {
  if (emailAddress.empty()) {
    BMSLog(1, 23234, "Failed to initiate on-device conversion measurement. Email address was empty.");
    return false;
  }
  return shouldRetrievePSMResponse();
}

bool BMSMeasurement::shouldRetrievePSMResponseWithPhoneNumber(const std::string& phoneNumber) {
  if (phoneNumber.empty()) {
    BMSLog(1, 23239, "Failed to initiate on-device conversion measurement. Phone number was empty.");
    return false;
  }
  if (const BMSPrivateSetMembershipClientClass* clientClass = PSMClientClass();
      clientClass && !clientClass->respondsToInitializer(BMSPSMInitializer::PhoneNumber)) {
    BMSLog(
        1, 23262,
        "Failed to initiate on-device conversion measurement. Linked CorvaneAppMeasurementOnDeviceConversion "
        "dependency does not support phone numbers.");
    return false;
  }
  return shouldRetrievePSMResponse();
}

bool BMSMeasurement::shouldRetrievePSMResponseWithHashedIdentifier(const std::string& hashedIdentifier) {
  if (hashedIdentifier.empty()) {
    BMSLog(1, 23264, "Failed to initiate on-device conversion measurement. Hashed identifier was empty.");
    return false;
  }
  if (const BMSPrivateSetMembershipClientClass* clientClass = PSMClientClass();
      clientClass &&
      !clientClass->respondsToInitializer(BMSPSMInitializer::HashedEmailAddressWithPrefixBitLength) &&
      !clientClass->respondsToInitializer(BMSPSMInitializer::HashedPhoneNumberWithPrefixBitLength)) {
    BMSLog(
        1, 23265,
        "Failed to initiate on-device conversion measurement. Linked CorvaneAppMeasurementOnDeviceConversion "
        "dependency does not support hashed identifiers.");
    return false;
  }
  return shouldRetrievePSMResponse();
}

namespace {

// A client made with the first of `initializers` the class answers; nullptr when it answers none.
std::shared_ptr<BMSPrivateSetMembershipClient> makeClient(
    BMSPrivateSetMembershipClientClass* clientClass, std::initializer_list<BMSPSMInitializer> initializers,
    const std::string& identifier, const std::string& appID, std::int64_t prefixBitLength) {
  if (!clientClass) return nullptr;
  for (BMSPSMInitializer initializer : initializers) {
    if (clientClass->respondsToInitializer(initializer))
      return clientClass->makeClient(initializer, identifier, appID, prefixBitLength);
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<BMSPrivateSetMembershipClient> BMSMeasurement::PSMClientWithEmailAddress(
    const std::string& emailAddress) {
  return makeClient(
      PSMClientClass(), {BMSPSMInitializer::EmailAddressWithPrefixBitLength, BMSPSMInitializer::EmailAddress},
      emailAddress, identity_->appID().value_or(""), remoteConfigInstance()->hashPrefixBitLengthEmail());
}

std::shared_ptr<BMSPrivateSetMembershipClient> BMSMeasurement::PSMClientWithPhoneNumber(
    const std::string& phoneNumber) {
  return makeClient(
      PSMClientClass(), {BMSPSMInitializer::PhoneNumberWithPrefixBitLength, BMSPSMInitializer::PhoneNumber},
      phoneNumber, identity_->appID().value_or(""), remoteConfigInstance()->hashPrefixBitLengthPhone());
}

std::shared_ptr<BMSPrivateSetMembershipClient> BMSMeasurement::PSMClientWithHashedEmailAddress(
    const std::string& hashed) {
  return makeClient(PSMClientClass(), {BMSPSMInitializer::HashedEmailAddressWithPrefixBitLength}, hashed,
                    identity_->appID().value_or(""), remoteConfigInstance()->hashPrefixBitLengthEmail());
}

std::shared_ptr<BMSPrivateSetMembershipClient> BMSMeasurement::PSMClientWithHashedPhoneNumber(
    const std::string& hashed) {
  return makeClient(PSMClientClass(), {BMSPSMInitializer::HashedPhoneNumberWithPrefixBitLength}, hashed,
                    identity_->appID().value_or(""), remoteConfigInstance()->hashPrefixBitLengthPhone());
}

void BMSMeasurement::setUserData(const platform::Dictionary& userData) {
  scheduler_->scheduleOnWorkerQueueBlockID(kUserDataBlockID, [weakSelf = weak_from_this(), userData] {
    if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock()) self->setUserDataOnWorkerQueue(userData);
  });
}

void BMSMeasurement::setUserDataOnWorkerQueue(const platform::Dictionary& userData) {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("setUserDataOnWorkerQueue");
  if (!isCollectingOnWorkerQueue()) return;
  BMSOnDeviceConversionState& state = onDeviceConversion();
  if (state.privateSetMembershipClient) {
    // A client kept from a failed attempt starts again only within the same limits as a new one:
    // never beside its request in flight, never past the start or retry limit.
    if (!shouldRetrievePSMResponse()) return;
  } else {
    using Check = bool (BMSMeasurement::*)(const std::string&);
    using Make = std::shared_ptr<BMSPrivateSetMembershipClient> (BMSMeasurement::*)(const std::string&);
    struct Input {
      const char* key;
      bool hashed;
      Check check;
      Make make;
    };
    static constexpr std::array<Input, 4> kInputs{{
        {kBMSUserDataEmailAddressKey, false, &BMSMeasurement::shouldRetrievePSMResponseWithEmailAddress,
         &BMSMeasurement::PSMClientWithEmailAddress},
        {kBMSUserDataPhoneNumberKey, false, &BMSMeasurement::shouldRetrievePSMResponseWithPhoneNumber,
         &BMSMeasurement::PSMClientWithPhoneNumber},
        {kBMSUserDataHashedEmailAddressKey, true,
         &BMSMeasurement::shouldRetrievePSMResponseWithHashedIdentifier,
         &BMSMeasurement::PSMClientWithHashedEmailAddress},
        {kBMSUserDataHashedPhoneNumberKey, true,
         &BMSMeasurement::shouldRetrievePSMResponseWithHashedIdentifier,
         &BMSMeasurement::PSMClientWithHashedPhoneNumber},
    }};
    for (const Input& input : kInputs) {
      if (state.privateSetMembershipClient) break;
      const std::optional<std::string> identifier = identifierIn(userData, input.key, input.hashed);
      if (identifier && (this->*input.check)(*identifier))
        state.privateSetMembershipClient = (this->*input.make)(*identifier);
    }
    if (!state.privateSetMembershipClient) return;
  }
  state.PSMStartCount += 1;
  state.PSMRetryCount = 0;
  retrievePSMResponse();
  BMSLog(7, 23225, "Initiated on-device conversion measurement");
}

void BMSMeasurement::retrievePSMResponse() {
  BMSScheduler::checkOnBackgroundThreadWithMethodName("retrievePSMResponse");
  BMSOnDeviceConversionState& state = onDeviceConversion();
  // A postponed request whose client has been answered since has nothing left to ask.
  const std::shared_ptr<BMSPrivateSetMembershipClient> client = state.privateSetMembershipClient;
  if (!client || !database_) return;
  std::optional<std::string> url = client->PSMRequestURLWithRetryCount(state.PSMRetryCount);
  if (!url) {
    BMSLog(1, 23227, "URL to query data set for on-device conversion measurement is invalid");
    return;
  }
  const PSMCounter& counter = counterFor(client->inputType());
  *url +=
      std::string("&") + counter.queryKey + "=" + std::to_string(storedCount(*database_, counter.property));

  // Whole seconds, moved up to the next whole minute (an exact minute too).
  if (const std::int64_t firstOpen = persistedConfig_->firstOpenTimestampMilliseconds() / 1000; firstOpen > 0)
    *url +=
        "&timestamp_first_open=" + std::to_string((firstOpen / kSecondsPerMinute + 1) * kSecondsPerMinute);

  const std::shared_ptr<BMSMonitor> monitor = BMSMeasurement::monitor();
  if (!BMSAEU::isFAS() && (monitor->isDebugModeEnabled() || monitor->isVerboseLoggingEnabled()) &&
      hasLaunchArgument(kDebugArgument)) {
    if (const std::optional<std::string> debugKey = client->debugKey()) *url += "&debug_psm_key=" + *debugKey;
  }

  if (!isNetworkReadyForRequest()) {
    BMSLog(7, 23232,
           "Network operation is pending. Request to query data set for on-device conversion measurement "
           "postponed.");
    state.isPSMRequestPostponed = true;
    return;
  }
  if (state.PSMRetryAlarm) state.PSMRetryAlarm->cancel();
  state.isPSMRequestInProgress = true;
  state.isPSMRequestPostponed = false;
  setNetworkRequestPending(true);
  const std::shared_ptr<CVUNetwork> network = this->network();
  network->setTimeoutInterval(remoteConfigInstance()->networkTimeout());
  network->getURL(*url, std::nullopt, scheduler_->workerQueue(), false,
                  [weakSelf = weak_from_this(), client](const std::optional<platform::HttpResponse>& response,
                                                        const std::optional<platform::Bytes>& body,
                                                        const std::optional<platform::Error>& error) {
                    if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock())
                      self->handlePSMResponseOnWorkerQueue(client, response ? response->statusCode : 0, body,
                                                           error);
                  });
}

void BMSMeasurement::handlePSMResponseOnWorkerQueue(
    const std::shared_ptr<BMSPrivateSetMembershipClient>& client, std::int64_t status,
    const std::optional<platform::Bytes>& body, const std::optional<platform::Error>& error) {
  setNetworkRequestPending(false);
  incrementPSMCountOnWorkerQueueWithName(counterFor(client->inputType()).property);
  BMSOnDeviceConversionState& state = onDeviceConversion();
  state.isPSMRequestInProgress = false;
  if (!error && isAnswer(status)) {
    const std::optional<std::string> value =
        client->parsedPSMValueFromResponse(body.value_or(platform::Bytes{}));
    if (value && !value->empty()) {
      BMSLog(7, 23229, "On-device conversion measurement found a match");
      handlePSMValueOnWorkerQueue(*value);
    } else {
      BMSLog(7, 23230,
             "On-device conversion measurement did not find a match. Will try again given new user data.");
    }
    state.privateSetMembershipClient = nullptr;
  } else {
    BMSLog(1, 23228,
           "Failed to query data set for on-device conversion measurement. Will retry later. Code, error",
           {status, error ? BMSContextFromError(*error) : platform::Value()});
    maybeSchedulePSMRetry();
  }
  updateSchedule();
}

void BMSMeasurement::maybeSchedulePSMRetry() {
  BMSOnDeviceConversionState& state = onDeviceConversion();
  const std::int32_t attempt = state.PSMRetryCount;
  state.PSMRetryCount = attempt + 1;
  const std::shared_ptr<BMSRemoteConfig> config = remoteConfigInstance();
  if (state.PSMRetryCount >= config->maxPSMRetryCount()) {
    BMSLog(4, 23231, "On-device conversion measurement failed to find a match. Reached retry limit.");
    return;
  }
  if (!state.PSMRetryAlarm)
    state.PSMRetryAlarm =
        std::make_unique<BMSAlarm>(scheduler_->workerQueue(), kRetryAlarmName, context_.sharedClock());
  // The alarm fires on the worker queue.
  state.PSMRetryAlarm->runAfterDelay(config->PSMRetryInterval() * std::ldexp(1.0, attempt),
                                     [weakSelf = weak_from_this()] {
                                       if (std::shared_ptr<BMSMeasurement> self = weakSelf.lock())
                                         self->retrievePSMResponse();
                                     });
}

void BMSMeasurement::handlePSMValueOnWorkerQueue(const std::string& value) {
  if (value.empty()) return;
  const double now = context_.nowSince1970();
  if (std::optional<BMSUserAttribute> match = BMSUserAttribute::initWithOrigin(
          kAutomaticOrigin, kPSMValueName, BMSValue::initWithStringValue(value), now))
    setUserAttributeOnWorkerQueue(*match);
  if (!isCollectingOnWorkerQueue()) return;
  std::optional<BMSEvent> event = BMSEvent::initWithOrigin(
      kAutomaticOrigin, false, kConversionEventName, now, 0,
      {{kConversionSourceParameter, BMSValue::initWithStringValue(kConversionSource)}});
  if (!event) return;
  event->setRealtime(true);
  writeEventOnWorkerQueue(*event);
}

void BMSMeasurement::incrementPSMCountOnWorkerQueueWithName(const std::string& name) {
  if (!database_) return;
  const std::int64_t count = storedCount(*database_, name) + 1;
  if (std::optional<BMSUserAttribute> counter = BMSUserAttribute::initWithOrigin(
          kAutomaticOrigin, name, BMSValue::initWithInt64(count), context_.nowSince1970()))
    setUserAttributeOnWorkerQueue(*counter);
}

void BMSMeasurement::maybeDeleteExpiredPSMValueOnWorkerQueue() {
  if (!database_) return;
  const std::optional<BMSUserAttribute> match = storedProperty(*database_, kPSMValueName);
  if (!match) return;
  if (platform::secondsFromStampEitherWay(match->lastSetTimestamp(), context_.nowSince1970()) <
      kPSMValueLifetimeSeconds)
    return;
  removeUserAttributeOnWorkerQueue(*match);
  for (const PSMCounter& counter : kCounters) {
    if (const std::optional<BMSUserAttribute> stored = storedProperty(*database_, counter.property))
      removeUserAttributeOnWorkerQueue(*stored);
  }
}

void BMSMeasurement::resetPSMCounts() {
  BMSOnDeviceConversionState& state = onDeviceConversion();
  state.PSMStartCount = 0;
  state.PSMRetryCount = 0;
}

bool BMSMeasurement::resumePostponedPSMRequest() {
  BMSOnDeviceConversionState& state = onDeviceConversion();
  if (!state.isPSMRequestPostponed) return false;
  state.isPSMRequestPostponed = false;
  retrievePSMResponse();
  return true;
}

}  // namespace beacon
