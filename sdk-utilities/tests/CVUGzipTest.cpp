#include "sdk-utilities/gzip/CVUGzip.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using platform::Bytes;

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes pseudoRandomBytes(std::size_t count) {
  std::mt19937 generator(20240611);
  Bytes bytes(count);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

Bytes gzipped(const Bytes& data) {
  platform::Error error;
  std::optional<Bytes> compressed = CVUGzip::cvu_dataByGzippingData(data, &error);
  EXPECT_TRUE(compressed.has_value()) << error.debugDescription();
  return compressed.value_or(Bytes{});
}

// A sentinel that shows whether a call touched the error out-parameter.
platform::Error untouchedError() {
  return platform::Error("untouched", 7);
}

TEST(CVUGzipTest, GzipOfTextHasTheGzipMagicAndInflatesBack) {
  Bytes compressed = gzipped(bytesOf("abc"));
  ASSERT_GE(compressed.size(), 2u);
  EXPECT_EQ(compressed[0], 0x1f);
  EXPECT_EQ(compressed[1], 0x8b);
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(compressed), bytesOf("abc"));
}

TEST(CVUGzipTest, RoundTripsDataThatSpansManyChunks) {
  // Incompressible data makes the deflate side run through many output chunks; a long run of one
  // byte makes the inflate side grow far beyond its first reservation.
  for (const Bytes& data : {pseudoRandomBytes(200'000), Bytes(3'000'000, 'x')}) {
    platform::Error error = untouchedError();
    EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(gzipped(data), &error), data);
    EXPECT_EQ(error.domain, "untouched");
  }
}

TEST(CVUGzipTest, TheFastestLevelWritesGzipThatInflatesBack) {
  for (const Bytes& data : {pseudoRandomBytes(200'000), Bytes(3'000'000, 'x'), bytesOf("abc")}) {
    platform::Error error = untouchedError();
    std::optional<Bytes> fast = CVUGzip::cvu_dataByGzippingData(data, &error, CVUGzipLevel::kFastest);
    ASSERT_TRUE(fast.has_value());
    ASSERT_GE(fast->size(), 10u);
    // The header's extra-flags byte names the level the stream was written at: 4 for the fastest,
    // 0 for the default.
    EXPECT_EQ((*fast)[8], 4);
    EXPECT_EQ(gzipped(data)[8], 0);
    EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(*fast, &error), data);
    EXPECT_EQ(error.domain, "untouched");
  }
}

TEST(CVUGzipTest, InflatesAZlibWrappedStream) {
  const Bytes original = bytesOf("a zlib stream, not a gzip one");
  uLongf size = compressBound(original.size());
  Bytes wrapped(size);
  ASSERT_EQ(compress(wrapped.data(), &size, original.data(), original.size()), Z_OK);
  wrapped.resize(size);
  ASSERT_EQ(wrapped[0], 0x78);
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(wrapped), original);
}

TEST(CVUGzipTest, BytesAfterTheStreamAreRefusedWithTheirCount) {
  Bytes data = gzipped(bytesOf("payload"));
  data.insert(data.end(), {1, 2, 3, 4, 5});
  platform::Error error;
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(data, &error), std::nullopt);
  EXPECT_EQ(error.domain, kCVUZlibErrorDomain);
  EXPECT_EQ(error.code, kCVUZlibErrorDataRemaining);
  EXPECT_EQ(error.userInfo, (platform::Dictionary{{kCVUZlibRemainingBytesKey, 5}}));

  // A second gzip member is trailing data too.
  Bytes twoMembers = gzipped(bytesOf("one"));
  const Bytes second = gzipped(bytesOf("two"));
  twoMembers.insert(twoMembers.end(), second.begin(), second.end());
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(twoMembers, &error), std::nullopt);
  EXPECT_EQ(*error.userInfo.at(kCVUZlibRemainingBytesKey).asInteger(),
            static_cast<std::int64_t>(second.size()));
}

TEST(CVUGzipTest, TruncatedDataFailsWithZlibStatusAndNoPartialOutput) {
  Bytes data = gzipped(pseudoRandomBytes(10'000));
  data.resize(data.size() / 2);
  platform::Error error;
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(data, &error), std::nullopt);
  EXPECT_EQ(error.domain, kCVUZlibErrorDomain);
  EXPECT_EQ(error.code, kCVUZlibErrorInternal);
  EXPECT_EQ(error.userInfo, (platform::Dictionary{{kCVUZlibErrorKey, Z_BUF_ERROR}}));
}

TEST(CVUGzipTest, DamagedDataCarriesZlibsMessage) {
  platform::Error error;
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(bytesOf("not compressed at all"), &error), std::nullopt);
  EXPECT_EQ(error.code, kCVUZlibErrorInternal);
  EXPECT_EQ(error.userInfo, (platform::Dictionary{{kCVUZlibErrorKey, Z_DATA_ERROR}}));
  EXPECT_EQ(error.description, "incorrect header check");

  // Failures without an out-parameter are just as quiet.
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(bytesOf("not compressed at all")), std::nullopt);
}

TEST(CVUGzipTest, EmptyInputGivesNothingAndLeavesTheErrorAlone) {
  platform::Error error = untouchedError();
  EXPECT_EQ(CVUGzip::cvu_dataByGzippingData(Bytes{}, &error), std::nullopt);
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(Bytes{}, &error), std::nullopt);
  EXPECT_EQ(error.domain, "untouched");
}

// Input over zlib's 32-bit limit, without using that much memory: untouched anonymous pages.
class HugeInput {
 public:
  static constexpr std::size_t kSize = std::size_t{1} << 32;
  HugeInput() : pages_(mmap(nullptr, kSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0)) {}
  ~HugeInput() {
    if (pages_ != MAP_FAILED) munmap(pages_, kSize);
  }
  bool ok() const { return pages_ != MAP_FAILED; }
  std::span<const std::uint8_t> bytes() const { return {static_cast<const std::uint8_t*>(pages_), kSize}; }

 private:
  void* pages_;
};

TEST(CVUGzipTest, InputBeyondFourGigabytesIsRefusedWithoutReadingIt) {
  HugeInput input;
  ASSERT_TRUE(input.ok());
  platform::Error error = untouchedError();
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(input.bytes(), &error), std::nullopt);
  EXPECT_EQ(error.domain, "untouched");

  EXPECT_EQ(CVUGzip::cvu_dataByGzippingData(input.bytes(), &error), std::nullopt);
  EXPECT_EQ(error.domain, kCVUZlibErrorDomain);
  EXPECT_EQ(error.code, kCVUZlibErrorInputTooLarge);
  EXPECT_TRUE(error.userInfo.empty());
}

class SystemGzipTest : public ::testing::Test {
 protected:
  std::filesystem::path path(const std::string& name) const { return folder_.path() / name; }

  static void writeFile(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  static Bytes readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

  platform::testing::TemporaryDirectory folder_;
  const Bytes original_ = [] {
    Bytes text = bytesOf("Velloran keeps prompts. ");
    Bytes data;
    for (int i = 0; i < 2000; ++i) data.insert(data.end(), text.begin(), text.end());
    Bytes noise = pseudoRandomBytes(50'000);
    data.insert(data.end(), noise.begin(), noise.end());
    return data;
  }();
};

TEST_F(SystemGzipTest, TheGzipToolReadsWhatWeWrite) {
  writeFile(path("ours.gz"), gzipped(original_));
  run("/bin/gzip -dc '" + path("ours.gz").string() + "' > '" + path("theirs.out").string() + "'");
  EXPECT_EQ(readFile(path("theirs.out")), original_);
}

TEST_F(SystemGzipTest, TheGzipToolReadsWhatWeWriteAtTheFastestLevel) {
  writeFile(path("fast.gz"),
            CVUGzip::cvu_dataByGzippingData(original_, nullptr, CVUGzipLevel::kFastest).value_or(Bytes{}));
  run("/bin/gzip -dc '" + path("fast.gz").string() + "' > '" + path("fast.out").string() + "'");
  EXPECT_EQ(readFile(path("fast.out")), original_);
}

TEST_F(SystemGzipTest, WeReadWhatTheGzipToolWrites) {
  // The tool records the file name in its header, a field our own output never has.
  writeFile(path("plain"), original_);
  run("/bin/gzip -9 '" + path("plain").string() + "'");
  platform::Error error;
  EXPECT_EQ(CVUGzip::cvu_dataByInflatingGzippedData(readFile(path("plain.gz")), &error), original_)
      << error.debugDescription();
}

}  // namespace
}  // namespace beacon
