// The service origin table and its one override.

#include "sdk-utilities/network/CVUServiceOrigins.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

constexpr CVUService kAll[] = {CVUService::Installations, CVUService::Configuration, CVUService::Upload,
                               CVUService::DeepLink,      CVUService::Attribution,   CVUService::Conversion};

TEST(CVUServiceOriginsTest, EveryServiceHasItsOwnHttpsOrigin) {
  platform::testing::ScopedEnvironment environment;
  environment.set(kCVUServiceOriginVariable, std::nullopt);
  std::set<std::string> origins;
  for (CVUService service : kAll) {
    const std::string origin = CVUServiceOrigin(service);
    EXPECT_TRUE(origin.starts_with("https://")) << origin;
    EXPECT_FALSE(CVUServiceHost(service).empty());
    origins.insert(origin);
  }
  EXPECT_EQ(origins.size(), std::size(kAll));
}

TEST(CVUServiceOriginsTest, TheOverrideReplacesEveryOriginAndKeepsPaths) {
  platform::testing::ScopedEnvironment environment;
  environment.set(kCVUServiceOriginVariable, "http://127.0.0.1:8080/");
  for (CVUService service : kAll) EXPECT_EQ(CVUServiceOrigin(service), "http://127.0.0.1:8080");
  EXPECT_EQ(CVUServiceURL(CVUService::Upload, "/a/batch"), "http://127.0.0.1:8080/a/batch");
  EXPECT_EQ(CVUServiceURL(CVUService::Configuration, "config/app/x?"), "http://127.0.0.1:8080/config/app/x?");
  EXPECT_EQ(CVUServiceHost(CVUService::Installations), "127.0.0.1");
}

TEST(CVUServiceOriginsTest, AnOverrideThatIsNoWebOriginIsIgnored) {
  platform::testing::ScopedEnvironment environment;
  for (const char* value :
       {"", "ftp://127.0.0.1", "http://127.0.0.1/path", "not a url", "http://u@127.0.0.1"}) {
    environment.set(kCVUServiceOriginVariable, value);
    EXPECT_TRUE(CVUServiceOrigin(CVUService::Upload).starts_with("https://upload.")) << value;
  }
}

}  // namespace
}  // namespace beacon
