#pragma once
// The seam between the interface layer and prompt storage. View models and sheets hold one
// PromptRepository (shared ownership) and never touch a store directly.
//
// Every operation is asynchronous: it returns at once and later calls its completion exactly once,
// on the main queue, with the result or the error that stopped it (never inline, not even for an
// immediate failure). An empty completion is allowed when the caller does not care. Calls may come
// from any thread. An implementation runs one operation at a time, in the order of the calls, and
// each runs to its end before the next starts, so no caller sees a half-applied save or delete, and
// a fetch started after a write has completed sees that write.
//
// Contract shared by all implementations:
//  - fetchPrompts: the stored prompts the filter selects (PromptFilterMatching.h), newest
//    `updatedAt` first, each a full value with its versions, shared and never changed afterwards
//    (PromptList.h): a store hands out the prompts it keeps rather than copies of them.
//  - savePrompt: insert or replace by id; the store then holds exactly the given value (both dates
//    as passed: the caller sets `updatedAt`).
//  - deletePrompt: removes each listed prompt with its versions; unknown ids are skipped, an empty
//    list is fine, neither is a failure.
//  - addVersion: appends the version to the prompt with the given id and sets its `updatedAt` to
//    the current time.
//  - addRun: records a run of the prompt with the given id.
//  - fetchAllTags: every tag of the library, as fetchPrompts with the empty filter would give them:
//    prompt after prompt in that order, each prompt's tags in their stored order. By default it is
//    answered through that fetch; a store that keeps its library at hand answers without copying
//    the prompts.
// Where the implementations differ (a version for an unknown id, whether runs are kept) is stated
// by each implementation.

#include <string>
#include <vector>

#include "Velloran/data/Completion.h"
#include "Velloran/data/PromptFilter.h"
#include "Velloran/data/PromptList.h"
#include "Velloran/data/PromptValues.h"
#include "platform/identity/UUID.h"

namespace velloran {

class PromptRepository {
 public:
  virtual ~PromptRepository() = default;

  virtual void fetchPrompts(PromptFilter filter, Completion<PromptList> completion) = 0;
  virtual void savePrompt(Prompt prompt, Completion<void> completion) = 0;
  virtual void deletePrompt(std::vector<platform::UUID> ids, Completion<void> completion) = 0;
  virtual void addVersion(PromptVersion version, platform::UUID promptId, Completion<void> completion) = 0;
  virtual void addRun(PromptRun run, platform::UUID promptId, Completion<void> completion) = 0;
  virtual void fetchAllTags(Completion<std::vector<std::string>> completion);
};

}  // namespace velloran
