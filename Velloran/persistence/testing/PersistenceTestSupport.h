#pragma once
// Shared by the persistence tests: a per-test user whose Application Support folder the persistent
// stack uses, and short forms of the repository calls. Raw access to the store file, for changing
// rows behind the store's back, is platform::testing::RawDatabase.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Velloran/data/PromptRepository.h"
#include "Velloran/data/testing/RepositoryTestSupport.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/pstore/testing/RawDatabase.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran::testing {

inline constexpr const char* kTestBundleIdentifier = "de.example.velloran";

// A fresh home, data and configuration roots and a main bundle with an identifier, for one test.
// The persistent stack keeps its store in this user's Application Support folder.
class TemporaryApplicationSupport {
 public:
  explicit TemporaryApplicationSupport(bool withBundleIdentifier = true) {
    if (withBundleIdentifier) {
      user_.writeInfo({{"CFBundleIdentifier", kTestBundleIdentifier}});
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

// The repository calls, run to completion under the deterministic backend.
class RepositoryCalls {
 public:
  RepositoryCalls(platform::DeterministicDispatch& dispatch, PromptRepository& repository)
      : dispatch_(dispatch), repository_(repository) {}

  platform::Result<PromptList> fetch(PromptFilter filter = {}) {
    return runToCompletion<PromptList>(
        dispatch_, [&](auto done) { repository_.fetchPrompts(std::move(filter), std::move(done)); });
  }
  std::vector<Prompt> fetchAll() {
    platform::Result<PromptList> prompts = fetch();
    EXPECT_TRUE(prompts.ok()) << prompts.error().debugDescription();
    return prompts.ok() ? valuesOf(*prompts) : std::vector<Prompt>{};
  }
  std::vector<std::string> fetchAllTags() {
    platform::Result<std::vector<std::string>> tags = runToCompletion<std::vector<std::string>>(
        dispatch_, [&](auto done) { repository_.fetchAllTags(std::move(done)); });
    EXPECT_TRUE(tags.ok()) << tags.error().debugDescription();
    return tags.ok() ? *tags : std::vector<std::string>{};
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
