// Network log lines reach the engine's log with their code, text and contexts, at the monitor's
// level for the network's.

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/runtime/BMSNetworkLogBridge.h"

namespace beacon {
namespace {

TEST(NetworkLogBridge, LevelsMapOntoTheMonitorsAndOthersBecomeNotices) {
  const std::vector<std::pair<int, std::int64_t>> mapping = {{3, 1}, {4, 4}, {5, 3}, {6, 6},
                                                             {7, 7}, {0, 3}, {2, 3}, {8, 3}};
  for (const auto& [network, monitor] : mapping)
    EXPECT_EQ(BMSNetworkLogBridge::monitorLevelForNetworkLevel(network), monitor) << network;
}

TEST(NetworkLogBridge, EveryFormForwardsCodeTextAndContexts) {
  testing::ScopedEngineServices services;
  BMSNetworkLogBridge bridge;
  bridge.CVUNetwork_logWithLevel(5, 901001, std::string("Upload failed"));
  bridge.CVUNetwork_logWithLevel(3, 901002, std::string("Timed out"), CVUNetworkContext("https://x/a"));
  bridge.CVUNetwork_logWithLevel(7, 901003, std::nullopt, CVUNetworkContext());
  bridge.CVUNetwork_logWithLevel(4, 901004, std::string("Two"),
                                 std::vector<CVUNetworkContext>{std::string("a"), std::nullopt});

  const auto& lines = services.log->lines;
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].level, 3);
  EXPECT_EQ(lines[0].code, 901001);
  EXPECT_EQ(lines[0].message, "Upload failed");
  EXPECT_TRUE(lines[0].contexts.empty());
  EXPECT_EQ(lines[1].level, 1);
  EXPECT_EQ(lines[1].contexts, std::vector<platform::Value>{platform::Value("https://x/a")});
  // A missing context gives none at all; a missing text an empty one.
  EXPECT_TRUE(lines[2].contexts.empty());
  EXPECT_EQ(lines[2].message, "");
  EXPECT_EQ(lines[3].contexts, (std::vector<platform::Value>{platform::Value("a"), platform::Value()}));
}

}  // namespace
}  // namespace beacon
