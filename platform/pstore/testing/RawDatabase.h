#pragma once
// Test support: a connection of its own to a store file, for changing or counting rows behind the
// store layer's back, the way another program would. Statements are run as given; failures throw
// std::runtime_error, which fails the test that met them. One thread at a time.

#include <cstdint>
#include <filesystem>
#include <string>

struct sqlite3;

namespace platform::testing {

class RawDatabase {
 public:
  // Waits up to five seconds for a lock another connection holds.
  explicit RawDatabase(const std::filesystem::path& path);
  ~RawDatabase();
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  void execute(const std::string& sql);
  // The first column of the first row as an integer; -1 when there is no row.
  std::int64_t count(const std::string& sql);

 private:
  sqlite3* database_ = nullptr;
};

}  // namespace platform::testing
