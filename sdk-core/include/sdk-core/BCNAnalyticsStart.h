#pragma once
// The class-directory facet by which the SDK core starts the analytics engine without linking it:
// configure of the default app looks up the class named "BCNAnalytics" and, when it carries this
// facet, calls startWithConfiguration. A program without analytics has no such class.

#include <memory>

namespace beacon {

class BCNAnalyticsConfiguration;
class BCNOptions;

inline constexpr const char* kBCNAnalyticsClassName = "BCNAnalytics";

class BCNAnalyticsStart {
 public:
  virtual ~BCNAnalyticsStart() = default;

  // Called on the configuring thread while BCNApp's registry lock is held; the default app is
  // already visible through BCNApp::defaultApp, but not yet through appNamed or allApps.
  virtual void startWithConfiguration(const std::shared_ptr<BCNAnalyticsConfiguration>& configuration,
                                      const std::shared_ptr<BCNOptions>& options) = 0;
};

}  // namespace beacon
