#include "Velloran/analytics/testing/OrdinaryLaunch.h"

#include <filesystem>
#include <string>
#include <vector>

#include "platform/bundle/Bundle.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/process/ProcessInfo.h"

namespace velloran::testing {
namespace {

constexpr const char* kTestHarnessVariable = "XCTestConfigurationFilePath";
// The main bundle's identifier while preferences are kept in files.
constexpr const char* kPreferencesIdentifier = "de.example.velloran.tests";

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

std::shared_ptr<platform::PreferencesDomain> OrdinaryLaunch::preferencesThatRefuseWrites(
    const std::string& name) {
  user_.writeInfo({{"CFBundleIdentifier", platform::Value(kPreferencesIdentifier)}});
  forgetCachedState();
  std::shared_ptr<platform::PreferencesDomain> domain = platform::PreferencesDomain::named(name);
  (void)domain->objectForKey(name);  // read now, while there is no file yet
  // A folder that is not empty where the file should be: every atomic write of the file fails.
  std::filesystem::create_directories(preferencesFile(name) / "refusing");
  return domain;
}

void OrdinaryLaunch::preferencesAcceptWrites(const std::string& name) {
  std::filesystem::remove_all(preferencesFile(name));
}

std::filesystem::path OrdinaryLaunch::preferencesFile(const std::string& name) const {
  return user_.configHome() / kPreferencesIdentifier / "Preferences" / (name + ".plist");
}

}  // namespace velloran::testing
