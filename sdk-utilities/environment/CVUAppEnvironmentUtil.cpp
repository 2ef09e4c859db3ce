#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

#include <atomic>
#include <mutex>

#include "platform/bundle/Bundle.h"
#include "platform/text/Format.h"
#include "sdk-utilities/environment/AppStoreReceipt.h"
#include "sdk-utilities/environment/MachineProbe.h"

#ifndef BEACON_STORE_BUILD
#error "BEACON_STORE_BUILD must be defined to 0 or 1 by the build"
#endif

namespace beacon {
namespace {

// Store-distributed executables are built as such: the build configuration is the one reliable
// sign this platform offers, and development builds are never configured that way.
constexpr bool kStoreDistributedBuild = BEACON_STORE_BUILD;

constexpr const char* kHardwareModelEntry = "hw.model";
constexpr const char* kReceiptCheckEnabledKey = "BeaconAppStoreReceiptURLCheckEnabled";

// A test's answer, or none: -1 none, 0 false, 1 true.
class AnswerOverride {
 public:
  void set(std::optional<bool> answer) { state_.store(answer ? int(*answer) : -1); }
  std::optional<bool> get() const {
    const int state = state_.load();
    if (state < 0) return std::nullopt;
    return state == 1;
  }

 private:
  std::atomic<int> state_{-1};
};

AnswerOverride fromAppStoreOverride;
AnswerOverride appExtensionOverride;

struct MachineOverride {
  std::mutex mutex;
  std::optional<CVUAppEnvironmentUtil::Machine> machine;
};

MachineOverride& machineOverride() {
  // Never destroyed, like every such static in this file: SDK queues may still use them while
  // the process's exit handlers run.
  static MachineOverride& state = *new MachineOverride;
  return state;
}

std::optional<CVUAppEnvironmentUtil::Machine> testMachine() {
  MachineOverride& state = machineOverride();
  std::lock_guard lock(state.mutex);
  return state.machine;
}

}  // namespace

bool CVUAppEnvironmentUtil::isFromAppStore() {
  if (auto answer = fromAppStoreOverride.get()) return *answer;
  return kStoreDistributedBuild && !isSimulator() && !isAppStoreReceiptSandbox();
}

bool CVUAppEnvironmentUtil::isAppStoreReceiptSandbox() {
  const std::shared_ptr<const platform::Bundle> bundle = platform::Bundle::main();
  const platform::Value* checkEnabled = bundle->objectForInfoDictionaryKey(kReceiptCheckEnabledKey);
  if (checkEnabled && checkEnabled->isNumber() && !checkEnabled->boolValue()) return false;
  return appStoreReceiptURL(*bundle).filename() == "sandboxReceipt";
}

std::optional<std::string> CVUAppEnvironmentUtil::getSysctlEntry(std::string_view name) {
  // Answered by value: two first uses on different threads never share a buffer.
  if (name == kHardwareModelEntry) {
    if (std::optional<Machine> machine = testMachine()) return machine->model;
    return MachineProbe::hardwareModel();
  }
  return std::nullopt;
}

std::string CVUAppEnvironmentUtil::deviceModel() {
  if (std::optional<Machine> machine = testMachine()) return machine->model;
  // The model is read from the machine once, for both answers; MachineProbe never names an empty one.
  static const std::string& model =
      *new std::string(deviceSimulatorModel().value_or(MachineProbe::machineName()));
  return model;
}

std::optional<std::string> CVUAppEnvironmentUtil::deviceSimulatorModel() {
  if (std::optional<Machine> machine = testMachine()) return machine->model;
  static const std::optional<std::string>& model =
      *new std::optional<std::string>(getSysctlEntry(kHardwareModelEntry));
  return model;
}

std::string CVUAppEnvironmentUtil::systemVersion() {
  if (std::optional<Machine> machine = testMachine()) return systemVersionFrom(machine->systemVersion);
  return systemVersionFrom(platform::ProcessInfo::operatingSystemVersion());
}

std::string CVUAppEnvironmentUtil::systemVersionFrom(const platform::OperatingSystemVersion& version) {
  std::string text = platform::format("%ld.%ld", version.major, version.minor);
  if (version.patch != 0) text += platform::format(".%ld", version.patch);
  return text;
}

bool CVUAppEnvironmentUtil::isAppExtension() {
  if (auto answer = appExtensionOverride.get()) return *answer;
  return false;
}

void CVUAppEnvironmentUtil::setFromAppStoreForTesting(std::optional<bool> answer) {
  fromAppStoreOverride.set(answer);
}

void CVUAppEnvironmentUtil::setAppExtensionForTesting(std::optional<bool> answer) {
  appExtensionOverride.set(answer);
}

void CVUAppEnvironmentUtil::setMachineForTesting(std::optional<Machine> machine) {
  MachineOverride& state = machineOverride();
  std::lock_guard lock(state.mutex);
  state.machine = std::move(machine);
}

}  // namespace beacon
