#pragma once
// The editor's view model: holds the one prompt the editor shows and turns the editor's input into
// stored changes. A save decides whether the input is a new version of the text or only a change of
// title, tags or type, numbers the new version and stores the whole prompt through the repository;
// a delete removes the prompt. The library's own state is refreshed by the editor's callbacks, not
// here.
//
// Ownership and threads: made by make() and held in a shared_ptr, so a save still pending when the
// editor closes finishes and reports; confined to the main thread (every operation throws
// platform::ProgrammerError elsewhere). Completions run on the main queue, never inline, and keep
// the view model alive until they have run.
//
// Observing: promptChanged() fires after each successful save, the only time `prompt` changes.
// saveFailureChanged() fires when the save failure to show comes or goes.
//
// Deleting wins over saving: from the moment a delete is asked for, saves store nothing and report
// false (a save queued behind the delete would otherwise put the deleted prompt back). Should the
// delete fail, saves work again.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/Completion.h"
#include "Velloran/data/PromptRepository.h"
#include "Velloran/data/PromptType.h"
#include "Velloran/data/PromptValues.h"
#include "Velloran/data/Signal.h"
#include "Velloran/viewmodels/ViewModelEnvironment.h"

namespace velloran {

class PromptDetailViewModel : public std::enable_shared_from_this<PromptDetailViewModel> {
  struct Passkey {};

 public:
  // `prompt` is a copy of the library's value; nothing happens at construction.
  static std::shared_ptr<PromptDetailViewModel> make(Prompt prompt,
                                                     std::shared_ptr<PromptRepository> repository,
                                                     ViewModelEnvironment environment);
  PromptDetailViewModel(Passkey, Prompt prompt, std::shared_ptr<PromptRepository> repository,
                        ViewModelEnvironment environment);
  PromptDetailViewModel(const PromptDetailViewModel&) = delete;
  PromptDetailViewModel& operator=(const PromptDetailViewModel&) = delete;

  // The prompt as last saved, or as handed in.
  const Prompt& prompt() const;
  const Signal<>& promptChanged() const { return promptChanged_; }
  // Why the last write failed, for the window: "Änderung konnte nicht gespeichert werden: " and the
  // reason (StoreFailureText.h). Set by a failed write, cleared by the next successful one.
  const std::optional<std::string>& saveFailure() const;
  const Signal<>& saveFailureChanged() const { return saveFailureChanged_; }
  const std::shared_ptr<PromptRepository>& promptRepository() const { return repository_; }

  // Stores the edit and reports whether anything was stored:
  //  - The text counts as changed when `content` and the newest version's text (empty without
  //    versions), both trimmed of white space and line breaks, differ; case counts.
  //  - Title (as passed), tags (in order) and type are compared with the prompt's as they are.
  //  - Nothing changed: false, nothing written.
  //  - Otherwise the whole prompt is stored with title, tags and type as passed, isSystem exactly
  //    when the type is `system`, updatedAt now, and, only when the text changed, one new version
  //    (new id, the trimmed text, `notes`, created now) numbered one above the last version in the
  //    list (1 without versions).
  //  - On success `prompt` becomes the stored value: true. A failed write leaves `prompt` alone,
  //    writes "Änderung konnte nicht gespeichert werden: " and the error to the console, sets
  //    saveFailure: false.
  // Each save compares with `prompt` as it stands when the save is called.
  void save(std::string title, std::vector<std::string> tags, PromptType type, std::string content,
            std::string notes, std::function<void(bool saved)> done);

  // Deletes the prompt; the repository's error reaches `done` unchanged.
  void deletePrompt(Completion<void> done);

 private:
  void report(std::function<void(bool)> done, bool saved);
  void setSaveFailure(std::optional<std::string> failure);

  Prompt prompt_;
  std::shared_ptr<PromptRepository> repository_;
  ViewModelEnvironment environment_;
  int pendingDeletes_ = 0;
  bool deleted_ = false;
  std::optional<std::string> saveFailure_;
  Signal<> promptChanged_;
  Signal<> saveFailureChanged_;
};

}  // namespace velloran
