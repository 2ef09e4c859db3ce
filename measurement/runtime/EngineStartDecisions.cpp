#include "measurement/runtime/EngineStartDecisions.h"

namespace beacon {

bool shouldEnableMeasurement(bool collectionDeactivated, std::int64_t persistedEnabledState,
                             bool collectionEnabledOption) {
  if (collectionDeactivated) return false;
  if (persistedEnabledState == kBMSMeasurementEnabledStateOn) return true;
  if (persistedEnabledState == kBMSMeasurementEnabledStateOff) return false;
  return collectionEnabledOption;
}

bool shouldWipeData(const WipeInputs& ids) {
  // From ten failed attempts on, a stuck wipe no longer blocks every start.
  if (ids.resetRetryCount >= 1 && ids.resetRetryCount <= 9) return true;
  const bool gc = !ids.appIDFromCNP.empty();
  const bool ac = !ids.appIDFromAdReach.empty();
  const bool gp = !ids.persistedAppIDFromCNP.empty();
  const bool ap = !ids.persistedAppIDFromAdReach.empty();
  const bool engine = !ids.engineAppID.empty();
  if (gp && gc) return ids.persistedAppIDFromCNP != ids.appIDFromCNP;
  if (!gp && ap && !ac && gc) return true;
  if (!gp && ap && ac && gc) return ids.persistedAppIDFromAdReach != ids.appIDFromAdReach;
  if (gp && !gc && ac && !ap) return engine;
  if (!gc && ap && engine && ids.engineAppID != ids.persistedAppIDFromAdReach) return true;
  return false;
}

ProspectiveConsent chooseProspectiveConsent(const ProspectiveConsentInputs& inputs) {
  const auto higher = [&](std::int64_t source) { return inputs.isConsentSourceHigherPriority(source); };
  ProspectiveConsent choice;
  platform::Dictionary chosen;
  if (!inputs.tcf.empty() && higher(kBMSConsentSourceTCF) &&
      (inputs.thirdParty.empty() || inputs.currentSource == kBMSConsentSourceTCF)) {
    chosen = inputs.tcf;
    choice.source = kBMSConsentSourceTCF;
  } else if (!inputs.infoPlist.empty() && higher(kBMSConsentSourceInfoPlist)) {
    chosen = inputs.infoPlist;
    choice.source = kBMSConsentSourceInfoPlist;
  } else if (inputs.analyticsInterfacePresent &&
             (inputs.currentSource == kBMSConsentSourceFirstPartyAtStart ||
              inputs.currentSource == kBMSConsentSourceAPI)) {
    // Consent the application gave through the engine directly does not carry over to a start
    // through the public interface.
    choice.clearPersistedConsent = true;
    choice.source = kBMSConsentSourceThirdParty;
  } else if (!inputs.firstPartyAtStart.empty() && higher(kBMSConsentSourceFirstPartyAtStart)) {
    chosen = inputs.firstPartyAtStart;
    choice.source = kBMSConsentSourceFirstPartyAtStart;
  } else {
    chosen = inputs.thirdParty;
    choice.source = kBMSConsentSourceThirdParty;
  }
  if (!chosen.empty() && higher(choice.source)) choice.settings = std::move(chosen);
  return choice;
}

}  // namespace beacon
