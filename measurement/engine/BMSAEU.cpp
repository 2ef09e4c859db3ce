#include "measurement/engine/BMSAEU.h"

#include "platform/bundle/Bundle.h"
#include "sdk-utilities/environment/AppStoreReceipt.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {

std::optional<std::filesystem::path> BMSAEU::appStoreRURL() {
  const std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::main();
  const platform::Value* checkEnabled =
      bundle->objectForInfoDictionaryKey("BeaconAppStoreReceiptURLCheckEnabled");
  if (checkEnabled && checkEnabled->isNumber() && !checkEnabled->boolValue()) return std::nullopt;
  return appStoreReceiptURL(*bundle);
}

bool BMSAEU::isASRS() {
  const std::optional<std::filesystem::path> receipt = appStoreRURL();
  return receipt && receipt->filename() == "sandboxReceipt";
}

bool BMSAEU::isFAS() {
  if (isNOD() || isASRS()) return false;
  const std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::main();
  std::error_code ignored;
  if (std::filesystem::exists(bundle->path() / "SC_Info", ignored)) return true;
  return CVUAppEnvironmentUtil::isFromAppStore() && !bundle->pathForResource("embedded", "mobileprovision");
}

std::string BMSAEU::deviceModel() {
  return CVUAppEnvironmentUtil::deviceModel();
}

std::string BMSAEU::systemVersion() {
  return CVUAppEnvironmentUtil::systemVersion();
}

bool BMSAEU::isAEX() {
  return platform::Bundle::main()->path().string().ends_with(".appex");
}

}  // namespace beacon
