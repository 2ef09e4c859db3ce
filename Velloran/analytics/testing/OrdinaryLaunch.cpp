#include "Velloran/analytics/testing/OrdinaryLaunch.h"

#include <string>
#include <vector>

#include "platform/bundle/Bundle.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/process/ProcessInfo.h"

namespace velloran::testing {
namespace {

constexpr const char* kTestHarnessVariable = "XCTestConfigurationFilePath";

void forgetCachedState() {
  platform::Bundle::resetMainForTesting();
  platform::PreferencesDomain::resetForTesting();
}

}  // namespace

OrdinaryLaunch::OrdinaryLaunch() {
  user_.environment().set(kTestHarnessVariable, std::nullopt);
  platform::ProcessInfo::setArgumentsForTesting(std::vector<std::string>{"/usr/bin/velloran"});
  forgetCachedState();
}

OrdinaryLaunch::~OrdinaryLaunch() {
  platform::ProcessInfo::setArgumentsForTesting(std::nullopt);
  forgetCachedState();
}

void OrdinaryLaunch::becomeTestRun() {
  user_.environment().set(kTestHarnessVariable, "");
}

}  // namespace velloran::testing
