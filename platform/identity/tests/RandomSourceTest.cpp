#include "platform/identity/RandomSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

#include "platform/identity/tests/FakeRandomSource.h"

namespace platform {
namespace {

bool allZero(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

TEST(IdentityRandomSource, SystemSourceFillsTheWholeBuffer) {
  // Sixty-four zero bytes in a row from a working generator would be a 2^-512 event: seeing them at
  // either end means that part of the buffer was never written.
  std::vector<std::uint8_t> first(4096, 0);
  std::vector<std::uint8_t> second(4096, 0);
  std::string reason;
  ASSERT_TRUE(systemRandomSource().fill(first, &reason)) << reason;
  ASSERT_TRUE(systemRandomSource().fill(second));
  EXPECT_FALSE(allZero(std::span(first).first(64)));
  EXPECT_FALSE(allZero(std::span(first).last(64)));
  EXPECT_NE(first, second);
  EXPECT_TRUE(systemRandomSource().fill(std::span<std::uint8_t>()));
}

TEST(IdentityRandomSource, FailureCarriesAReason) {
  FailingRandomSource failing;
  std::array<std::uint8_t, 8> bytes{};
  std::string reason;
  EXPECT_FALSE(failing.fill(bytes, &reason));
  EXPECT_EQ(reason, "no entropy");
  EXPECT_FALSE(failing.fill(bytes));
}

}  // namespace
}  // namespace platform
