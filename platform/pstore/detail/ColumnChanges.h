#pragma once
// The unsaved values of one object's columns, at most one per column, in column order. Internal to
// the persistent-store layer.
//
// An object has a handful of columns, and an import makes thousands of objects at a time: one flat
// list per object costs one allocation where a tree would cost one per column, and finding a column
// in it is a short scan.

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/sqlite/SqlValue.h"

namespace platform::detail {

class ColumnChanges {
 public:
  using Entry = std::pair<std::size_t, SqlValue>;

  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }
  void reserve(std::size_t columns) { entries_.reserve(columns); }

  // nullptr when the column is unchanged.
  const SqlValue* find(std::size_t column) const {
    const std::size_t index = indexOf(column);
    return holds(index, column) ? &entries_[index].second : nullptr;
  }
  bool contains(std::size_t column) const { return find(column) != nullptr; }

  void set(std::size_t column, SqlValue value) {
    const std::size_t index = indexOf(column);
    if (holds(index, column)) {
      entries_[index].second = std::move(value);
    } else {
      entries_.emplace(entries_.begin() + static_cast<std::ptrdiff_t>(index), column, std::move(value));
    }
  }
  void erase(std::size_t column) {
    const std::size_t index = indexOf(column);
    if (holds(index, column)) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  }

  // By column, ascending.
  std::vector<Entry>::iterator begin() { return entries_.begin(); }
  std::vector<Entry>::iterator end() { return entries_.end(); }
  std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
  std::vector<Entry>::const_iterator end() const { return entries_.end(); }

 private:
  // Where the column's entry is, or would go.
  std::size_t indexOf(std::size_t column) const {
    return static_cast<std::size_t>(
        std::lower_bound(entries_.begin(), entries_.end(), column,
                         [](const Entry& entry, std::size_t wanted) { return entry.first < wanted; }) -
        entries_.begin());
  }
  bool holds(std::size_t index, std::size_t column) const {
    return index < entries_.size() && entries_[index].first == column;
  }

  std::vector<Entry> entries_;
};

}  // namespace platform::detail
