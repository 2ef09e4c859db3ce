#pragma once
// Facts about the running application the engine asks for: where its store receipt is, whether it
// came from the store, whether it is an extension. Class methods; safe from any thread.
//
// This platform has no encrypted store executables; a store-distributed build (the SDK utilities'
// store-build answer) stands for "the executable is marked encrypted".

#include <filesystem>
#include <optional>
#include <string>

namespace beacon {

class BMSAEU {
 public:
  // Empty when the Info.plist entry "BeaconAppStoreReceiptURLCheckEnabled" is a false number.
  static std::optional<std::filesystem::path> appStoreRURL();
  // The receipt is the store's test ("sandboxReceipt") one.
  static bool isASRS();
  static bool isNOD() { return false; }
  // Installed from the store: not a test receipt, and "SC_Info" in the bundle or a store build
  // without an "embedded.mobileprovision" resource.
  static bool isFAS();
  static std::string deviceModel();
  static std::string systemVersion();
  // The bundle path ends in ".appex".
  static bool isAEX();
};

}  // namespace beacon
