#include "platform/pstore/detail/SqlValue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/error/Error.h"

namespace platform::detail {
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

[[noreturn]] void refuseType(const AttributeDescription& attribute) {
  throw ProgrammerError("AttributeTypeMismatch",
                        "the value given for \"" + attribute.name + "\" is not of the attribute's type");
}

template <class T>
const T& expect(const AttributeDescription& attribute, const AttributeValue& value) {
  if (const T* typed = std::get_if<T>(&value)) return *typed;
  refuseType(attribute);
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

SqlValue encodeAttribute(const AttributeDescription& attribute, const AttributeValue& value) {
  switch (attribute.type) {
    case AttributeType::UUID: {
      const UUID& uuid = expect<UUID>(attribute, value);
      return Bytes(uuid.bytes().begin(), uuid.bytes().end());
    }
    case AttributeType::String:
      return expect<std::string>(attribute, value);
    case AttributeType::Binary:
      return expect<Bytes>(attribute, value);
    case AttributeType::Boolean:
      return std::int64_t{expect<bool>(attribute, value) ? 1 : 0};
    case AttributeType::Date:
      return expect<Date>(attribute, value).secondsSinceReferenceDate;
    case AttributeType::Integer32:
      return expect<std::int64_t>(attribute, value);
  }
  refuseType(attribute);
}

AttributeRead decodeAttribute(AttributeType type, const SqlValue& stored) {
  if (isNull(stored)) return AttributeRead::missing();
  switch (type) {
    case AttributeType::UUID:
      if (const auto* bytes = std::get_if<Bytes>(&stored); bytes && bytes->size() == 16) {
        UUID::Bytes raw;
        std::copy(bytes->begin(), bytes->end(), raw.begin());
        return AttributeRead::present(UUID(raw));
      }
      break;
    case AttributeType::String:
      if (const auto* text = std::get_if<std::string>(&stored)) return AttributeRead::present(*text);
      break;
    case AttributeType::Binary:
      if (const auto* bytes = std::get_if<Bytes>(&stored)) return AttributeRead::present(*bytes);
      break;
    case AttributeType::Boolean:
      if (const auto* integer = std::get_if<std::int64_t>(&stored))
        return AttributeRead::present(*integer != 0);
      break;
    case AttributeType::Date:
      if (const auto* real = std::get_if<double>(&stored)) return AttributeRead::present(Date{*real});
      if (const auto* integer = std::get_if<std::int64_t>(&stored)) {
        return AttributeRead::present(Date{static_cast<double>(*integer)});
      }
      break;
    case AttributeType::Integer32:
      if (const auto* integer = std::get_if<std::int64_t>(&stored);
          integer && *integer >= std::numeric_limits<std::int32_t>::min() &&
          *integer <= std::numeric_limits<std::int32_t>::max()) {
        return AttributeRead::present(*integer);
      }
      break;
  }
  return AttributeRead::otherKind();
}

}  // namespace platform::detail
