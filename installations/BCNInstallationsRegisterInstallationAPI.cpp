#include "installations/BCNInstallationsRegisterInstallationAPI.h"

#include "installations/BCNInstallationsErrorUtil.h"
#include "platform/json/Json.h"

namespace beacon {

platform::Result<BCNInstallationsItem>
BCNInstallationsRegisterInstallationAPI::registeredInstallationWithJSONData(const BCNInstallationsItem& sent,
                                                                            const platform::Bytes& data,
                                                                            platform::Date date) {
  platform::Result<platform::Dictionary> reply = dictionaryFromJSONData(data);
  if (!reply) return reply.error();
  std::optional<std::string> refreshToken = validStringOrNilForKey("refreshToken", *reply);
  if (!refreshToken)
    return BCNInstallationsErrorUtil::BIDRegistrationErrorWithResponseMissingField("refreshToken");
  auto authTokenField = reply->find("authToken");
  if (authTokenField == reply->end() || !authTokenField->second.asDictionary())
    return BCNInstallationsErrorUtil::BIDRegistrationErrorWithResponseMissingField("authToken");
  platform::Result<BCNInstallationsStoredAuthToken> authToken =
      authTokenWithJSONDict(*authTokenField->second.asDictionary(), date);
  if (!authToken) return authToken.error();

  BCNInstallationsItem registered(sent.appID(), sent.beaconAppName());
  std::optional<std::string> bid = validStringOrNilForKey("bid", *reply);
  registered.beaconInstallationID = bid ? bid : sent.beaconInstallationID;
  registered.refreshToken = std::move(refreshToken);
  registered.authToken = std::move(*authToken);
  registered.registrationStatus = kBCNInstallationsRegistrationStatusRegistered;
  return registered;
}

platform::Result<BCNInstallationsStoredAuthToken>
BCNInstallationsRegisterInstallationAPI::authTokenWithGenerateTokenAPIJSONData(const platform::Bytes& data,
                                                                               platform::Date date) {
  platform::Result<platform::Dictionary> reply = dictionaryFromJSONData(data);
  if (!reply) return reply.error();
  return authTokenWithJSONDict(*reply, date);
}

platform::Result<BCNInstallationsStoredAuthToken>
BCNInstallationsRegisterInstallationAPI::authTokenWithJSONDict(const platform::Dictionary& dict,
                                                               platform::Date date) {
  std::optional<std::string> token = validStringOrNilForKey("token", dict);
  if (!token)
    return BCNInstallationsErrorUtil::BIDRegistrationErrorWithResponseMissingField("authToken.token");
  std::optional<std::string> expiresIn = validStringOrNilForKey("expiresIn", dict);
  if (!expiresIn)
    return BCNInstallationsErrorUtil::BIDRegistrationErrorWithResponseMissingField("authToken.expiresIn");
  // The unit character goes whatever it is, so "3600" would read as 360 seconds: the service
  // always sends a unit.
  double seconds = platform::Value(expiresIn->substr(0, expiresIn->size() - 1)).doubleValue();
  BCNInstallationsStoredAuthToken authToken;
  authToken.status = kBCNInstallationsAuthTokenStatusTokenReceived;
  authToken.token = std::move(token);
  authToken.expirationDate = platform::Date{date.secondsSinceReferenceDate + seconds};
  return authToken;
}

platform::Result<platform::Dictionary> BCNInstallationsRegisterInstallationAPI::dictionaryFromJSONData(
    const platform::Bytes& data) {
  platform::Result<platform::Value> parsed =
      platform::parseJson(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!parsed || !parsed->asDictionary()) return BCNInstallationsErrorUtil::JSONSerializationError();
  return *parsed->asDictionary();
}

std::optional<std::string> BCNInstallationsRegisterInstallationAPI::validStringOrNilForKey(
    std::string_view key, const platform::Dictionary& dict) {
  auto found = dict.find(key);
  if (found == dict.end() || !found->second.asString() || found->second.asString()->empty())
    return std::nullopt;
  return *found->second.asString();
}

}  // namespace beacon
