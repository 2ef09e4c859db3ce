#include "Velloran/sync/HistoryTokenStore.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

using platform::HistoryToken;
using platform::UUID;

class HistoryTokenStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path file() const { return folder.path() / "support" / "PersistentHistoryToken.data"; }
  std::string fileContents() const { return platform::testing::fileContents(file()); }

  platform::DeterministicDispatch dispatch;
  platform::testing::TemporaryDirectory folder;
  const UUID store = UUID::random();
  const UUID otherStore = UUID::random();
};

TEST_F(HistoryTokenStoreTest, TheTokenOnlyEverMovesForward) {
  HistoryTokenStore tokens(file());
  EXPECT_TRUE(tokens.advance(HistoryToken{store, 7}, store));
  // A processing that fetched earlier but finished later comes back with an older position.
  EXPECT_FALSE(tokens.advance(HistoryToken{store, 5}, store));
  EXPECT_FALSE(tokens.advance(HistoryToken{store, 7}, store));
  EXPECT_EQ(tokens.current(), (HistoryToken{store, 7}));
  EXPECT_EQ(fileContents(), (HistoryToken{store, 7}).serialized());

  EXPECT_TRUE(tokens.advance(HistoryToken{store, 8}, store));
  EXPECT_EQ(HistoryTokenStore(file()).current(), (HistoryToken{store, 8})) << "kept across a restart";
}

TEST_F(HistoryTokenStoreTest, ATokenOfTheLoadedStoreReplacesOneOfAnotherStoreButNeverTheReverse) {
  HistoryTokenStore tokens(file());
  ASSERT_TRUE(tokens.advance(HistoryToken{otherStore, 50}, otherStore));
  EXPECT_TRUE(tokens.advance(HistoryToken{store, 2}, store))
      << "transaction numbers start again in a new store";
  EXPECT_FALSE(tokens.advance(HistoryToken{otherStore, 60}, store))
      << "a late answer about a store that is gone";
  EXPECT_EQ(tokens.current(), (HistoryToken{store, 2}));
}

TEST_F(HistoryTokenStoreTest, ResettingForgetsOnlyTheTokenThatExpired) {
  HistoryTokenStore tokens(file());
  const HistoryToken expired{otherStore, 9};
  ASSERT_TRUE(tokens.advance(expired, otherStore));
  ASSERT_TRUE(std::filesystem::exists(file()));
  tokens.reset(expired);
  EXPECT_FALSE(tokens.current());
  EXPECT_FALSE(std::filesystem::exists(file()));
  tokens.reset(expired);  // a missing file is no failure

  ASSERT_TRUE(tokens.advance(HistoryToken{store, 3}, store));
  tokens.reset(expired);  // a processing that met the old token finishes after a newer one was stored
  EXPECT_EQ(tokens.current(), (HistoryToken{store, 3}));
  EXPECT_TRUE(std::filesystem::exists(file()));
}

TEST_F(HistoryTokenStoreTest, AFileThatHoldsNoTokenMeansNoToken) {
  std::filesystem::create_directories(file().parent_path());
  for (const std::string& contents :
       {std::string(), std::string("garbage"), (HistoryToken{store, 3}).serialized() + "\n",
        std::string("HT1:") + store.uuidString() + ":0"}) {
    std::ofstream(file(), std::ios::trunc) << contents;
    EXPECT_FALSE(HistoryTokenStore(file()).current()) << contents;
  }
  std::filesystem::remove(file());
  std::filesystem::create_directories(file());  // not even a file
  EXPECT_FALSE(HistoryTokenStore(file()).current());
}

TEST_F(HistoryTokenStoreTest, AWriteReplacesTheWholeFileAndLeavesNothingElseBehind) {
  HistoryTokenStore tokens(file());
  ASSERT_TRUE(tokens.advance(HistoryToken{store, 123456}, store));
  ASSERT_TRUE(tokens.advance(HistoryToken{store, 123457}, store));
  EXPECT_EQ(fileContents(), (HistoryToken{store, 123457}).serialized());
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(file().parent_path()))
    ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST_F(HistoryTokenStoreTest, WithoutAFileTheTokenLivesInMemory) {
  HistoryTokenStore tokens(std::nullopt);
  EXPECT_TRUE(tokens.advance(HistoryToken{store, 1}, store));
  EXPECT_EQ(tokens.current(), (HistoryToken{store, 1}));
}

}  // namespace
}  // namespace velloran
