#pragma once
// Internal to the prompt data layer: feeds the fields of a value into one hash, in order, with the
// same notion of equality the values use (canonically equivalent strings hash alike, and so do
// -0.0 and 0.0). Hashes are for in-process tables only and are never stored.

#include <cstddef>
#include <functional>
#include <string_view>

#include "platform/identity/UUID.h"
#include "platform/text/Normalization.h"
#include "platform/value/Value.h"

namespace velloran::data_detail {

class HashBuilder {
 public:
  HashBuilder& add(std::size_t hash) {
    state_ ^= hash + 0x9e3779b97f4a7c15ULL + (state_ << 6) + (state_ >> 2);
    return *this;
  }
  HashBuilder& addText(std::string_view text) { return add(platform::canonicalHash(text)); }
  HashBuilder& addNumber(double number) {
    // Equal numbers must hash equally, and -0.0 == 0.0 although their bits differ.
    return add(std::hash<double>{}(number == 0.0 ? 0.0 : number));
  }
  HashBuilder& addDate(platform::Date date) { return addNumber(date.secondsSinceReferenceDate); }
  HashBuilder& addUUID(const platform::UUID& uuid) { return add(std::hash<platform::UUID>{}(uuid)); }
  // An ordered list feeds its length, then each element in order.
  template <class List, class HashElement>
  HashBuilder& addList(const List& list, HashElement hashElement) {
    add(list.size());
    for (const auto& element : list) add(hashElement(element));
    return *this;
  }

  std::size_t value() const { return state_; }

 private:
  std::size_t state_ = 0;
};

}  // namespace velloran::data_detail
