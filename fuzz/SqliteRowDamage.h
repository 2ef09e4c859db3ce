#pragma once
// What the fuzz targets of stored rows share: the fuzzer's bytes as a source of choices, and the
// damage of a database file's rows that another program (or a failing disk) could have written -
// every column of every table the bytes choose overwritten, in every row, with a value of any
// storage class.

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"

namespace velloran::fuzz {

// The fuzzer's bytes, taken from the front as they are needed; zeros once they run out.
class ByteSource {
 public:
  ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  std::string bytes(std::size_t count) {
    std::string taken;
    while (count-- > 0 && offset_ < size_) taken += static_cast<char>(data_[offset_++]);
    return taken;
  }
  std::uint64_t word() {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | byte();
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

namespace detail {

inline std::vector<std::string> names(sqlite3* database, const std::string& sql) {
  std::vector<std::string> found;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return found;
  const int column = sqlite3_column_count(statement) > 1 ? 1 : 0;  // table_info has the name second
  while (sqlite3_step(statement) == SQLITE_ROW) {
    found.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
  }
  sqlite3_finalize(statement);
  return found;
}

inline void bindChosenValue(sqlite3_stmt* statement, ByteSource& source) {
  switch (source.byte() % 5) {
    case 0:
      sqlite3_bind_null(statement, 1);
      break;
    case 1:
      sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(source.word()));
      break;
    case 2: {
      const std::uint64_t bits = source.word();
      double real;
      std::memcpy(&real, &bits, sizeof real);
      sqlite3_bind_double(statement, 1, real);
      break;
    }
    case 3: {
      const std::string text = source.bytes(source.byte() % 64);
      sqlite3_bind_text(statement, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    default: {
      const std::string blob = source.bytes(source.byte() % 64);
      sqlite3_bind_blob(statement, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
      break;
    }
  }
}

}  // namespace detail

// Overwrites the columns the bytes choose, in every row of their table.
inline void damageRows(const std::filesystem::path& path, ByteSource& source) {
  sqlite3* database = nullptr;
  check(sqlite3_open(path.c_str(), &database) == SQLITE_OK, "the copied store opens");
  for (const std::string& table :
       detail::names(database, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    for (const std::string& column : detail::names(database, "PRAGMA table_info(\"" + table + "\")")) {
      if (source.byte() % 3 != 0) continue;
      sqlite3_stmt* statement = nullptr;
      const std::string sql = "UPDATE \"" + table + "\" SET \"" + column + "\" = ?";
      if (sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) continue;
      detail::bindChosenValue(statement, source);
      (void)sqlite3_step(statement);  // a value a constraint refuses is simply not written
      sqlite3_finalize(statement);
    }
  }
  sqlite3_close(database);
}

}  // namespace velloran::fuzz
