#pragma once
// Facts about the running program and machine: whether this is a store-distributed build, the
// hardware model, the OS version, the platform and deployment names, and whether the program runs
// as an app extension. The logger drops verbose levels in store builds, the user agent reports these
// facts, and the app registry behaves differently inside extensions.
//
// All class methods, safe from any thread. Values that cannot change while the program runs (the
// model names, the store-build flag) are worked out once, on first use.

#include <optional>
#include <string>
#include <string_view>

#include "platform/process/ProcessInfo.h"

namespace beacon {

class CVUAppEnvironmentUtil {
 public:
  CVUAppEnvironmentUtil() = delete;

  // True only for a store-distributed build whose receipt is not a sandbox receipt. Whether the
  // build is store-distributed is decided when it is configured (BEACON_STORE_BUILD); development
  // builds never are.
  static bool isFromAppStore();

  // False when the main bundle's Info.plist holds "BeaconAppStoreReceiptURLCheckEnabled" as a
  // false number; else whether the store receipt (AppStoreReceipt.h) is a sandbox receipt.
  static bool isAppStoreReceiptSandbox();

  // The machine's value of a system-control name, or nullopt when this machine has none. The only
  // name this platform answers is "hw.model", the hardware model (MachineProbe.h).
  static std::optional<std::string> getSysctlEntry(std::string_view name);

  // "hw.model", or the kernel's machine name when the machine states no model.
  static std::string deviceModel();
  // "hw.model" as it is, nullopt when the machine states no model.
  static std::optional<std::string> deviceSimulatorModel();

  // The OS version as "major.minor", with ".patch" only when the patch is not 0.
  static std::string systemVersion();
  static std::string systemVersionFrom(const platform::OperatingSystemVersion& version);

  // Fixed on this platform.
  static bool isSimulator() { return false; }
  static bool isAppExtension();
  static bool isIOS7OrHigher() { return true; }
  static std::string applePlatform() { return "macos"; }
  static std::string appleDevicePlatform() { return applePlatform(); }
  static std::string deploymentType() { return "swiftpm"; }

  // The machine a test pretends to run on: its model (as deviceModel and "hw.model" answer it) and
  // its OS version.
  struct Machine {
    std::string model;
    platform::OperatingSystemVersion systemVersion;
  };

  // Test seams for facts a test cannot arrange on a development machine: a store build, running
  // inside an app extension, and a known machine. nullopt brings back the real answer.
  static void setFromAppStoreForTesting(std::optional<bool> answer);
  static void setAppExtensionForTesting(std::optional<bool> answer);
  static void setMachineForTesting(std::optional<Machine> machine);
};

}  // namespace beacon
