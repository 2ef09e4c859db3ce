#include "platform/paths/FileAside.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths/PathsError.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/time/ManualClock.h"

namespace platform {
namespace {

constexpr std::array<std::string_view, 2> kCompanions = {"-log", "-journal"};

class FileAsideTest : public ::testing::Test {
 protected:
  std::filesystem::path at(const std::string& name) const { return folder_.path() / name; }
  static void write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file) << text;
  }
  Result<std::filesystem::path> moveAside(const std::filesystem::path& file,
                                          KeptCopies kept = KeptCopies::All) const {
    return moveFileAside(file, "damaged", kept, kCompanions, clock_);
  }

  testing::TemporaryDirectory folder_;
  ManualClock clock_{Date::fromUnixSeconds(1'700'000'000.5)};
};

TEST_F(FileAsideTest, CopiesOfOneSecondNeverShareANameAndTakeTheirCompanionsAlong) {
  write(at("data"), "first");
  write(at("data-log"), "first log");
  EXPECT_EQ(moveAside(at("data")).value(), at("data.damaged-1700000000"));
  EXPECT_EQ(testing::fileContents(at("data.damaged-1700000000")), "first");
  EXPECT_EQ(testing::fileContents(at("data.damaged-1700000000-log")), "first log");
  EXPECT_FALSE(std::filesystem::exists(at("data-log")));

  write(at("data"), "second");
  EXPECT_EQ(moveAside(at("data")).value(), at("data.damaged-1700000000-1"));

  // A name whose companion's name is taken is passed over whole, and what stands there stays.
  write(at("data"), "third");
  write(at("data-journal"), "third journal");
  std::filesystem::create_directory(at("data.damaged-1700000000-2-journal"));
  EXPECT_EQ(moveAside(at("data")).value(), at("data.damaged-1700000000-3"));
  EXPECT_EQ(testing::fileContents(at("data.damaged-1700000000-3-journal")), "third journal");
  EXPECT_TRUE(std::filesystem::is_directory(at("data.damaged-1700000000-2-journal")));
  EXPECT_FALSE(std::filesystem::exists(at("data.damaged-1700000000-2")));

  EXPECT_EQ(testing::fileContents(at("data.damaged-1700000000")), "first");
  EXPECT_EQ(testing::fileContents(at("data.damaged-1700000000-1")), "second");
  EXPECT_EQ(testing::fileContents(at("data.damaged-1700000000-3")), "third");
}

TEST_F(FileAsideTest, WhenAPieceCannotMoveEveryPieceStaysWhereItWas) {
  // The copy's name fits in a folder entry; its journal's name does not.
  const std::filesystem::path file = at(std::string(235, 'd'));
  write(file, "file");
  write(file.string() + "-log", "log");
  write(file.string() + "-journal", "journal");
  Result<std::filesystem::path> aside = moveAside(file);
  ASSERT_FALSE(aside.ok());
  EXPECT_TRUE(isPathsError(aside.error(), PathsErrorCode::WriteFailed));
  EXPECT_EQ(testing::fileContents(file), "file");
  EXPECT_EQ(testing::fileContents(file.string() + "-log"), "log");
  EXPECT_EQ(testing::fileContents(file.string() + "-journal"), "journal");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 3);

  // The file itself gone: its companions, moved first, come back.
  write(at("data-log"), "log");
  ASSERT_FALSE(moveAside(at("data")).ok());
  EXPECT_EQ(testing::fileContents(at("data-log")), "log");
  EXPECT_FALSE(std::filesystem::exists(at("data.damaged-1700000000-log")));
}

TEST_F(FileAsideTest, KeepingTheNewestOnlyRemovesEarlierCopiesOfTheNameAndLabelAlone) {
  const std::vector<std::string> earlier = {"data.damaged-1600000000", "data.damaged-1600000000-log",
                                            "data.damaged-1600000000-1", "data.damaged-1600000000-1-journal",
                                            "data.damaged-1800000000"};
  const std::vector<std::string> others = {"data.damaged",
                                           "data.damaged-notes",
                                           "data.damaged-1600000000-notes",
                                           "data.corrupt-1600000000",
                                           "other.damaged-1600000000",
                                           "data.item.damaged-1600000000"};
  for (const std::string& name : earlier) write(at(name), "earlier");
  for (const std::string& name : others) write(at(name), "other");
  write(at("data"), "newest");
  write(at("data-log"), "newest log");

  const std::filesystem::path aside = moveAside(at("data"), KeptCopies::NewestOnly).value();
  EXPECT_EQ(testing::fileContents(aside), "newest");
  EXPECT_EQ(testing::fileContents(aside.string() + "-log"), "newest log");
  for (const std::string& name : earlier) EXPECT_FALSE(std::filesystem::exists(at(name))) << name;
  for (const std::string& name : others) EXPECT_EQ(testing::fileContents(at(name)), "other") << name;
}

}  // namespace
}  // namespace platform
