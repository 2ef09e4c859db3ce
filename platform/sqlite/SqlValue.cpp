#include "platform/sqlite/SqlValue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {
namespace {

int storageRank(const SqlValue& value) {
  switch (value.index()) {
    case 0:
      return 0;
    case 1:
    case 2:
      return 1;
    case 3:
      return 2;
    default:
      return 3;
  }
}

template <class T>
int threeWay(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// An integer against a real without rounding the integer: the real is split at its integral part.
int compareIntegerWithReal(std::int64_t integer, double real) {
  if (std::isnan(real)) return 1;
  if (real >= 9223372036854775808.0) return -1;
  if (real < -9223372036854775808.0) return 1;
  const double integral = std::floor(real);
  const auto realFloor = static_cast<std::int64_t>(integral);
  if (integer != realFloor) return threeWay(integer, realFloor);
  return real > integral ? -1 : 0;
}

int compareNumbers(const SqlValue& a, const SqlValue& b) {
  if (const auto* ai = std::get_if<std::int64_t>(&a)) {
    if (const auto* bi = std::get_if<std::int64_t>(&b)) return threeWay(*ai, *bi);
    return compareIntegerWithReal(*ai, std::get<double>(b));
  }
  const double ad = std::get<double>(a);
  if (const auto* bi = std::get_if<std::int64_t>(&b)) return -compareIntegerWithReal(*bi, ad);
  return threeWay(ad, std::get<double>(b));
}

template <class Sequence>
int compareBytes(const Sequence& a, const Sequence& b) {
  const std::size_t common = std::min(a.size(), b.size());
  if (common > 0) {
    const int order = std::memcmp(a.data(), b.data(), common);
    if (order != 0) return order < 0 ? -1 : 1;
  }
  return threeWay(a.size(), b.size());
}

}  // namespace

int compareSqlValues(const SqlValue& a, const SqlValue& b) {
  const int rankA = storageRank(a);
  const int rankB = storageRank(b);
  if (rankA != rankB) return threeWay(rankA, rankB);
  switch (rankA) {
    case 0:
      return 0;
    case 1:
      return compareNumbers(a, b);
    case 2:
      return compareBytes(std::get<std::string>(a), std::get<std::string>(b));
    default:
      return compareBytes(std::get<Bytes>(a), std::get<Bytes>(b));
  }
}

bool sqlEquals(const SqlValue& a, const SqlValue& b) {
  return !isNull(a) && !isNull(b) && compareSqlValues(a, b) == 0;
}

bool identicalSqlValues(const SqlValue& a, const SqlValue& b) {
  if (a.index() != b.index()) return false;
  if (const auto* ad = std::get_if<double>(&a)) {
    const double bd = std::get<double>(b);
    return std::memcmp(ad, &bd, sizeof bd) == 0;
  }
  return a == b;
}

}  // namespace platform
