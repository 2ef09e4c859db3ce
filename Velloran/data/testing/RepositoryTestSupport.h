#pragma once
// Shared by the repository and sync tests: deterministic ids, a small prompt builder, and a probe
// that runs an asynchronous operation under the deterministic dispatch backend while checking the
// completion rules every operation promises (never inline, exactly once, on the main queue).

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/Completion.h"
#include "Velloran/data/PromptList.h"
#include "Velloran/data/PromptValues.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/Queue.h"
#include "platform/identity/UUID.h"

namespace velloran::testing {

// Distinct, stable identifiers: the same test always stores the same keys.
inline platform::UUID testUUID(std::uint8_t number) {
  platform::UUID::Bytes bytes{};
  bytes[15] = number;
  bytes[6] = 0x40;
  return platform::UUID(bytes);
}

// Records every call of the completions it hands out.
template <class T>
class CompletionProbe {
 public:
  Completion<T> completion() {
    return [state = state_](platform::Result<T> result) {
      state->allOnMainQueue = state->allOnMainQueue && platform::mainQueue()->isCurrent();
      state->results.push_back(std::move(result));
    };
  }
  std::size_t calls() const { return state_->results.size(); }
  bool allOnMainQueue() const { return state_->allOnMainQueue; }
  const platform::Result<T>& result() const { return state_->results.front(); }

 private:
  struct State {
    std::vector<platform::Result<T>> results;
    bool allOnMainQueue = true;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Starts an operation with `start(completion)`, drains, and answers its one result.
template <class T, class Start>
platform::Result<T> runToCompletion(platform::DeterministicDispatch& dispatch, Start start) {
  CompletionProbe<T> probe;
  start(probe.completion());
  EXPECT_EQ(probe.calls(), 0u) << "the completion ran inline";
  dispatch.drain();
  EXPECT_EQ(probe.calls(), 1u) << "the completion must run exactly once";
  EXPECT_TRUE(probe.allOnMainQueue()) << "the completion must run on the main queue";
  if (probe.calls() == 0) return platform::Error("test", 0, "the operation never completed");
  return probe.result();
}

struct PromptFields {
  std::uint8_t id = 1;
  std::string title = "Prompt";
  std::vector<std::string> tags = {};
  PromptType type = PromptType::user;
  double updatedAt = 1000;
  std::string content = "Text";
};

// A prompt as the create sheet makes it: one version numbered 1 that refers to the prompt.
inline Prompt makePrompt(const PromptFields& fields) {
  const platform::UUID id = testUUID(fields.id);
  const platform::Date created{fields.updatedAt - 100};
  return Prompt{id,
                fields.title,
                fields.type,
                fields.tags,
                fields.type == PromptType::system,
                created,
                platform::Date{fields.updatedAt},
                {PromptVersion{testUUID(static_cast<std::uint8_t>(fields.id + 100)), id, fields.content, "",
                               1, created}},
                {},
                {}};
}

inline std::vector<std::string> titlesOf(const std::vector<Prompt>& prompts) {
  std::vector<std::string> titles;
  for (const Prompt& prompt : prompts) titles.push_back(prompt.title);
  return titles;
}

// The prompts of a listing as values, to compare with the expected ones.
inline std::vector<Prompt> valuesOf(const PromptList& prompts) {
  std::vector<Prompt> values;
  for (const SharedPrompt& prompt : prompts) values.push_back(*prompt);
  return values;
}

inline std::vector<std::string> titlesOf(const PromptList& prompts) {
  return titlesOf(valuesOf(prompts));
}

}  // namespace velloran::testing
