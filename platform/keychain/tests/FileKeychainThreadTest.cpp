// Writers on many threads, each with its own object on the same file, as separate processes would
// be: the file lock keeps every write.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/keychain/FileKeychain.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

TEST(FileKeychainThreadTest, ConcurrentWritersLoseNothing) {
  testing::TemporaryDirectory folder;
  std::filesystem::path file = folder.path() / "items.plist";
  constexpr int kThreads = 4;
  constexpr int kItemsEach = 10;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([file, t] {
      FileKeychain keychain(file);
      for (int i = 0; i < kItemsEach; ++i) {
        KeychainQuery query;
        query.service = "s";
        query.account = std::to_string(t) + "-" + std::to_string(i);
        EXPECT_EQ(keychain.add(query, Bytes{static_cast<std::uint8_t>(i)}), kKeychainSuccess);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();

  FileKeychain reader(file);
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kItemsEach; ++i) {
      KeychainQuery query;
      query.service = "s";
      query.account = std::to_string(t) + "-" + std::to_string(i);
      EXPECT_EQ(reader.copyMatching(query).data, Bytes{static_cast<std::uint8_t>(i)});
    }
  }
}

}  // namespace
}  // namespace platform
