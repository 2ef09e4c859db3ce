#include "platform/paths/FileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "platform/paths/PathsError.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

std::vector<std::string> entriesOf(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class FileIOTest : public ::testing::Test {
 protected:
  testing::TemporaryDirectory folder_;
};

TEST_F(FileIOTest, AtomicWriteCreatesAndReplacesWithoutLeavingTemporaries) {
  auto file = folder_.path() / "state.plist";
  ASSERT_TRUE(writeFileAtomically(file, bytesOf("first")).ok());
  EXPECT_EQ(*readFile(file), bytesOf("first"));
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "new files are the user's alone";

  ASSERT_TRUE(writeFileAtomically(file, bytesOf("second, longer")).ok());
  EXPECT_EQ(*readFile(file), bytesOf("second, longer"));
  ASSERT_TRUE(writeFileAtomically(file, Bytes{}).ok());
  EXPECT_EQ(*readFile(file), Bytes{});

  EXPECT_EQ(entriesOf(folder_.path()), std::vector<std::string>{"state.plist"});
}

TEST_F(FileIOTest, LargeContentsRoundTrip) {
  Bytes large(3 * 65536 + 17);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 31);
  auto file = folder_.path() / "large.bin";
  ASSERT_TRUE(writeFileAtomically(file, large).ok());
  EXPECT_EQ(*readFile(file), large);
}

TEST_F(FileIOTest, WriteIntoAMissingFolderFailsCleanly) {
  auto result = writeFileAtomically(folder_.path() / "missing" / "file", bytesOf("x"));
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(isPathsError(result.error(), PathsErrorCode::WriteFailed));
  EXPECT_NE(result.error().description.find("missing"), std::string::npos);
  EXPECT_TRUE(result.error().userInfo.count(std::string(kErrnoKey)));
  EXPECT_TRUE(entriesOf(folder_.path()).empty());
}

TEST_F(FileIOTest, AFailedRenameKeepsTheOldTargetAndRemovesTheTemporary) {
  // A non-empty folder cannot be replaced by a file.
  auto target = folder_.path() / "occupied";
  std::filesystem::create_directories(target / "inside");
  auto result = writeFileAtomically(target, bytesOf("x"));
  ASSERT_FALSE(result.ok());
  EXPECT_TRUE(isPathsError(result.error(), PathsErrorCode::WriteFailed));
  EXPECT_TRUE(std::filesystem::is_directory(target / "inside"));
  EXPECT_EQ(entriesOf(folder_.path()), std::vector<std::string>{"occupied"});
}

TEST_F(FileIOTest, ReadTellsMissingFromUnreadable) {
  auto missing = readFile(folder_.path() / "nothing");
  ASSERT_FALSE(missing.ok());
  EXPECT_TRUE(isPathsError(missing.error(), PathsErrorCode::FileNotFound));

  auto folder = readFile(folder_.path());
  ASSERT_FALSE(folder.ok());
  EXPECT_TRUE(isPathsError(folder.error(), PathsErrorCode::NotAFileToRead));
}

// Whatever stands at a store's name is read as a file or refused: a pipe would hold the read until a
// writer came, and a device such as /dev/zero would be read without end.
TEST_F(FileIOTest, APipeOrADeviceInAFilesPlaceIsRefusedAtOnce) {
  auto pipe = folder_.path() / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::filesystem::create_symlink(pipe, folder_.path() / "link-to-pipe");
  std::filesystem::create_symlink("/dev/zero", folder_.path() / "link-to-device");
  for (const char* name : {"pipe", "link-to-pipe", "link-to-device"}) {
    auto read = readFile(folder_.path() / name);
    ASSERT_FALSE(read.ok()) << name;
    EXPECT_TRUE(isPathsError(read.error(), PathsErrorCode::NotAFileToRead)) << name;
    EXPECT_NE(read.error().description.find(name), std::string::npos) << name;
  }
}

// A file larger than memory can hold (here a sparse one) is a failure to read, found before any of it
// is read: never an exception, never memory filled.
TEST_F(FileIOTest, AFileTooLargeForMemoryIsAReadFailure) {
  auto huge = folder_.path() / "huge";
  std::ofstream(huge) << "start";
  std::filesystem::resize_file(huge, std::uintmax_t{1} << 43);
  auto read = readFile(huge);
  ASSERT_FALSE(read.ok());
  EXPECT_TRUE(isPathsError(read.error(), PathsErrorCode::NotAFileToRead));
}

TEST_F(FileIOTest, CreateDirectoriesMakesParentsAndAcceptsExistingFolders) {
  auto deep = folder_.path() / "a" / "b" / "c";
  ASSERT_TRUE(createDirectories(deep).ok());
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(createDirectories(deep).ok());

  std::ofstream(folder_.path() / "plain") << "file";
  auto blocked = createDirectories(folder_.path() / "plain");
  ASSERT_FALSE(blocked.ok());
  EXPECT_TRUE(isPathsError(blocked.error(), PathsErrorCode::CreateDirectoryFailed));
  EXPECT_FALSE(createDirectories(folder_.path() / "plain" / "below").ok());
}

// A dangling link is an entry all the same: whoever removes what it made must not take it for absent.
TEST_F(FileIOTest, AnEntryExistsWhateverItIsEvenALinkToNothing) {
  EXPECT_FALSE(entryExists(folder_.path() / "missing"));
  std::ofstream(folder_.path() / "plain") << "file";
  std::filesystem::create_symlink(folder_.path() / "missing", folder_.path() / "dangling");
  EXPECT_TRUE(entryExists(folder_.path() / "plain"));
  EXPECT_TRUE(entryExists(folder_.path()));
  EXPECT_TRUE(entryExists(folder_.path() / "dangling"));
}

}  // namespace
}  // namespace platform
