#pragma once
// Shared by the persistence tests: a per-test user whose Application Support folder the persistent
// stack uses, raw access to the store file for changing rows behind the store's back, and short
// forms of the repository calls.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Velloran/data/PromptRepository.h"
#include "Velloran/data/tests/RepositoryTestSupport.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/paths/tests/TestEnvironment.h"

namespace velloran::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.velloran";

// A fresh home, data and configuration roots and a main bundle with an identifier, for one test.
// The persistent stack keeps its store in this user's Application Support folder.
class TemporaryApplicationSupport {
 public:
  explicit TemporaryApplicationSupport(bool withBundleIdentifier = true) {
    if (withBundleIdentifier) {
      std::ofstream(user_.bundle() / "Info.plist")
          << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
          << "<key>CFBundleIdentifier</key><string>" << kTestBundleIdentifier << "</string></dict></plist>\n";
    }
    platform::Bundle::resetMainForTesting();
  }
  ~TemporaryApplicationSupport() { platform::Bundle::resetMainForTesting(); }
  TemporaryApplicationSupport(const TemporaryApplicationSupport&) = delete;
  TemporaryApplicationSupport& operator=(const TemporaryApplicationSupport&) = delete;

  std::filesystem::path folder() const { return user_.dataHome() / kTestBundleIdentifier; }
  std::filesystem::path storePath() const { return folder() / std::string(kStoreFileName); }

 private:
  platform::testing::TemporaryUser user_;
};

// A connection of its own to a store file, the way another program would change it.
class RawStoreFile {
 public:
  explicit RawStoreFile(const std::filesystem::path& path) {
    if (sqlite3_open(path.c_str(), &database_) != SQLITE_OK)
      throw std::runtime_error("cannot open " + path.string());
    sqlite3_busy_timeout(database_, 5000);
  }
  ~RawStoreFile() { sqlite3_close(database_); }
  RawStoreFile(const RawStoreFile&) = delete;
  RawStoreFile& operator=(const RawStoreFile&) = delete;

  void execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string reason = message ? message : "?";
      sqlite3_free(message);
      throw std::runtime_error(sql + ": " + reason);
    }
  }
  std::int64_t count(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(database_));
    }
    const std::int64_t value =
        sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return value;
  }

 private:
  sqlite3* database_ = nullptr;
};

// The repository calls, run to completion under the deterministic backend.
class RepositoryCalls {
 public:
  RepositoryCalls(platform::DeterministicDispatch& dispatch, PromptRepository& repository)
      : dispatch_(dispatch), repository_(repository) {}

  platform::Result<std::vector<Prompt>> fetch(PromptFilter filter = {}) {
    return runToCompletion<std::vector<Prompt>>(
        dispatch_, [&](auto done) { repository_.fetchPrompts(std::move(filter), std::move(done)); });
  }
  std::vector<Prompt> fetchAll() {
    platform::Result<std::vector<Prompt>> prompts = fetch();
    EXPECT_TRUE(prompts.ok()) << prompts.error().debugDescription();
    return prompts.ok() ? *prompts : std::vector<Prompt>{};
  }
  platform::Result<void> save(Prompt prompt) {
    return runToCompletion<void>(dispatch_,
                                 [&](auto done) { repository_.savePrompt(std::move(prompt), done); });
  }
  platform::Result<void> remove(std::vector<platform::UUID> ids) {
    return runToCompletion<void>(dispatch_,
                                 [&](auto done) { repository_.deletePrompt(std::move(ids), done); });
  }
  platform::Result<void> addVersion(PromptVersion version, platform::UUID promptId) {
    return runToCompletion<void>(
        dispatch_, [&](auto done) { repository_.addVersion(std::move(version), promptId, done); });
  }

 private:
  platform::DeterministicDispatch& dispatch_;
  PromptRepository& repository_;
};

}  // namespace velloran::testing
