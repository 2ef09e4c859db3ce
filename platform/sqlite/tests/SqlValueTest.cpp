#include "platform/sqlite/SqlValue.h"

#include <gtest/gtest.h>

#include <limits>

namespace platform {
namespace {

TEST(SqlValue, OrdersByStorageClassThenContent) {
  const std::vector<SqlValue> ascending = {
      std::monostate{}, std::int64_t{-3}, 2.5,     std::int64_t{3}, std::string(""),
      std::string("a"), std::string("b"), Bytes{}, Bytes{0},        Bytes{1}};
  for (std::size_t i = 0; i + 1 < ascending.size(); ++i) {
    EXPECT_LT(compareSqlValues(ascending[i], ascending[i + 1]), 0) << i;
    EXPECT_GT(compareSqlValues(ascending[i + 1], ascending[i]), 0) << i;
  }
}

TEST(SqlValue, ComparesIntegersWithRealsWithoutRounding) {
  constexpr std::int64_t kLarge = (std::int64_t{1} << 53) + 1;  // not representable as a double
  EXPECT_GT(compareSqlValues(kLarge, static_cast<double>(kLarge - 1)), 0);
  EXPECT_EQ(compareSqlValues(std::int64_t{1}, 1.0), 0);
  EXPECT_LT(compareSqlValues(std::numeric_limits<std::int64_t>::max(), 9223372036854775808.0), 0);
  EXPECT_GT(compareSqlValues(std::numeric_limits<std::int64_t>::min(), -1e19), 0);
}

TEST(SqlValue, EqualityFollowsTheEngineButIdentityKeepsTheStorageClass) {
  EXPECT_TRUE(sqlEquals(std::int64_t{1}, 1.0));
  EXPECT_FALSE(identicalSqlValues(std::int64_t{1}, 1.0));
  EXPECT_FALSE(sqlEquals(std::monostate{}, std::monostate{}));
  EXPECT_TRUE(identicalSqlValues(std::monostate{}, std::monostate{}));
  EXPECT_FALSE(identicalSqlValues(0.0, -0.0));
}

}  // namespace
}  // namespace platform
