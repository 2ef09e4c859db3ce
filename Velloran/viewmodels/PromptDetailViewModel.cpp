#include "Velloran/viewmodels/PromptDetailViewModel.h"

#include "Velloran/data/VersionStamps.h"
#include "Velloran/viewmodels/ConsoleLog.h"
#include "Velloran/viewmodels/MainThread.h"
#include "Velloran/viewmodels/PromptTexts.h"
#include "Velloran/viewmodels/StoreFailureText.h"
#include "platform/text/Characters.h"
#include "platform/text/Normalization.h"

namespace velloran {
namespace {

constexpr const char* kDetailOwner = "PromptDetailViewModel";
constexpr const char* kSaveFailed = kChangeNotSavedText;

// One above the last version in list order, not the highest number: the list is the history as
// the store hands it over.
std::int64_t nextVersionNumber(const Prompt& prompt) {
  return prompt.versions.empty() ? 1 : prompt.versions.back().versionNumber + 1;
}

}  // namespace

std::shared_ptr<PromptDetailViewModel> PromptDetailViewModel::make(
    Prompt prompt, std::shared_ptr<PromptRepository> repository, ViewModelEnvironment environment) {
  requireMainThread(kDetailOwner, "make");
  return std::make_shared<PromptDetailViewModel>(Passkey{}, std::move(prompt), std::move(repository),
                                                 std::move(environment));
}

PromptDetailViewModel::PromptDetailViewModel(Passkey, Prompt prompt,
                                             std::shared_ptr<PromptRepository> repository,
                                             ViewModelEnvironment environment)
    : prompt_(std::move(prompt)), repository_(std::move(repository)), environment_(std::move(environment)) {}

const Prompt& PromptDetailViewModel::prompt() const {
  requireMainThread(kDetailOwner, "prompt");
  return prompt_;
}

const std::optional<std::string>& PromptDetailViewModel::saveFailure() const {
  requireMainThread(kDetailOwner, "saveFailure");
  return saveFailure_;
}

void PromptDetailViewModel::setSaveFailure(std::optional<std::string> failure) {
  if (failure == saveFailure_) return;
  saveFailure_ = std::move(failure);
  saveFailureChanged_.emit();
}

void PromptDetailViewModel::save(std::string title, std::vector<std::string> tags, PromptType type,
                                 std::string content, std::string notes,
                                 std::function<void(bool saved)> done) {
  requireMainThread(kDetailOwner, "save");
  if (deleted_ || pendingDeletes_ > 0) return report(std::move(done), false);

  const std::string newText = platform::trimmed(content);
  const bool metadataChanged = !platform::canonicallyEqual(title, prompt_.title) ||
                               !textListsEqual(tags, prompt_.tags) || type != prompt_.type;
  // chatText is the newest version's trimmed text, empty without versions.
  const bool contentChanged = !platform::canonicallyEqual(newText, chatText(prompt_));
  if (!metadataChanged && !contentChanged) return report(std::move(done), false);

  Prompt updated = prompt_;
  updated.title = std::move(title);
  updated.tags = std::move(tags);
  updated.type = type;
  updated.isSystem = type == PromptType::system;
  if (contentChanged) {
    updated.versions.push_back(PromptVersion{
        .id = platform::UUID::random(environment_.random),
        .promptRef = updated.id,
        .content = newText,
        .notes = std::move(notes),
        .versionNumber = nextVersionNumber(prompt_),
        // After the version it replaces even when the clock was set back since: the window shows
        // the stamp the store keeps.
        .createdAt = newVersionStamp(prompt_, environment_.clock->now()),
    });
  }
  updated.updatedAt = environment_.clock->now();

  repository_->savePrompt(
      updated, [self = shared_from_this(), updated, done = std::move(done)](platform::Result<void> saved) {
        if (!saved.ok()) {
          logFailure(self->environment_.console, kSaveFailed, saved.error());
          self->setSaveFailure(storeFailureMessage(kSaveFailed, saved.error()));
          if (done) done(false);
          return;
        }
        self->prompt_ = updated;
        self->setSaveFailure(std::nullopt);
        self->promptChanged_.emit();
        if (done) done(true);
      });
}

void PromptDetailViewModel::deletePrompt(Completion<void> done) {
  requireMainThread(kDetailOwner, "deletePrompt");
  ++pendingDeletes_;
  repository_->deletePrompt(
      {prompt_.id}, [self = shared_from_this(), done = std::move(done)](platform::Result<void> deleted) {
        --self->pendingDeletes_;
        if (deleted.ok()) self->deleted_ = true;
        if (done) done(std::move(deleted));
      });
}

void PromptDetailViewModel::report(std::function<void(bool)> done, bool saved) {
  // Never inline: a save reports later, whatever it decided, so callers see one behaviour.
  environment_.mainQueue->async([self = shared_from_this(), done = std::move(done), saved] {
    if (done) done(saved);
  });
}

}  // namespace velloran
