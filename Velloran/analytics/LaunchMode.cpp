#include "Velloran/analytics/LaunchMode.h"

#include <algorithm>

#include "Velloran/analytics/AnalyticsConsent.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {

using platform::Value;

LaunchMode LaunchMode::from(const std::vector<std::string>& arguments, bool hasHarnessVariable) {
  LaunchMode mode;
  mode.isUITesting = std::find(arguments.begin(), arguments.end(), kUITestingArgument) != arguments.end();
  mode.isTesting = hasHarnessVariable || mode.isUITesting;
  return mode;
}

LaunchMode LaunchMode::current() {
  return from(platform::ProcessInfo::arguments(),
              platform::ProcessInfo::environmentValue(kTestHarnessVariable).has_value());
}

void prepareUITestDefaults(const std::string& bundleIdentifier) {
  // A file that cannot be deleted still leaves the domain empty in memory, and the writes below
  // replace it on disk: the run starts from the fixed state either way.
  (void)platform::PreferencesDomain::removeDomain(bundleIdentifier);
  const std::shared_ptr<platform::PreferencesDomain> defaults =
      platform::PreferencesDomain::named(bundleIdentifier);
  // Every value below has a property-list form, so none can be refused.
  (void)defaults->setObject("AppleLanguages", Value(platform::Array{Value("de")}));
  (void)defaults->setObject("AppleLocale", Value("de_DE"));
  (void)defaults->setObject(kAnalyticsPromptShownKey, Value(true));
  (void)defaults->setObject(kAnalyticsEnabledKey, Value(false));
  (void)defaults->setObject("promptListHintHidden", Value(true));
}

}  // namespace velloran
