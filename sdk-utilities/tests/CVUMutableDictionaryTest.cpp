// The guarded dictionary, from one thread and from many.

#include "sdk-utilities/collections/CVUMutableDictionary.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace beacon {
namespace {

TEST(CVUMutableDictionaryTest, AWriteIsSeenByTheNextRead) {
  CVUMutableDictionary<std::string, int> dictionary;
  dictionary.setObject(1, "a");
  EXPECT_EQ(dictionary.count(), 1u);
  EXPECT_EQ(dictionary["a"], 1);
  dictionary.setObject(2, "a");
  EXPECT_EQ(dictionary.objectForKey("a"), 2);
  EXPECT_FALSE(dictionary["missing"]);
}

TEST(CVUMutableDictionaryTest, SnapshotsDoNotFollowLaterWrites) {
  CVUMutableDictionary<std::string, int> dictionary;
  dictionary.setObject(1, "a");
  const auto snapshot = dictionary.dictionary();
  dictionary.setObject(2, "b");
  dictionary.removeObjectForKey("a");
  EXPECT_EQ(snapshot, (std::map<std::string, int>{{"a", 1}}));
  dictionary.removeAllObjects();
  EXPECT_EQ(dictionary.count(), 0u);
}

TEST(CVUMutableDictionaryTest, SettingNothingThroughTheSubscriptRemoves) {
  CVUMutableDictionary<std::string, int> dictionary;
  dictionary.setObjectForKeyedSubscript(3, "k");
  EXPECT_EQ(dictionary["k"], 3);
  dictionary.setObjectForKeyedSubscript(std::nullopt, "k");
  EXPECT_EQ(dictionary.count(), 0u);
}

TEST(CVUMutableDictionaryThreadTest, WritersOnManyThreadsLoseNothing) {
  CVUMutableDictionary<int, int> dictionary;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        dictionary.setObject(i, t * 1000 + i);
        (void)dictionary.count();
      }
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(dictionary.count(), 2000u);
}

}  // namespace
}  // namespace beacon
