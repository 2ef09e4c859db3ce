#pragma once
// The editor's state and rules, free of widgets: what the fields hold, when title, tags and type are
// saved on their own, when "Speichern" may store a new version, and the delete.
//
// Two kinds of edit:
//  - Title, tags and type are saved automatically 0.35 s after the last change (each change starts
//    the wait anew), with the values of that last change, and only when they differ from the stored
//    prompt (title trimmed, tags compared as sets of trimmed non-empty tags). Such a save never makes
//    a version: it takes the prompt's stored text at the moment it runs. A blank title is never
//    saved. A pending automatic save outlives the editor, but not a delete: asking to delete cancels
//    it, and no automatic save runs for a prompt being deleted. When the application quits,
//    saveWaitingMetadataNow() runs the waiting saves at once, so an edit made just before is kept.
//  - The text is saved only by saveNewVersion(), which stores a new version when the trimmed text
//    differs from the stored one. "Speichern" is disabled while the text is blank or unchanged (ends
//    trimmed), while the title is blank, and while such a save runs.
// Every save that stored something, and every successful delete, is reported to the library through
// the callbacks, which the editor waits for; a delete then closes the editor.
//
// A failed save changes nothing the user typed; saveFailure() says why until a save succeeds. When
// the editor goes away with edits the store does not hold (a text that differs from the stored one,
// or title, tags or type an automatic save would still store), they are kept in UnsavedEdits, and
// the next editor of the prompt starts from them: its first loadEditState() puts them in the fields,
// which schedules the automatic save of title, tags and type again and enables "Speichern".
//
// Setting a field to a new value counts as a change, also when loadEditState() sets it; setting it to
// the value it has does not. `changed()` fires after every change of the state or of the stored prompt.
//
// Ownership and threads: made by make() and held by the editor page, and by a version save or a
// delete until it has reported. A pending automatic save holds the view model, not the controller:
// it still runs after the editor has closed. Main thread only; the automatic save's wait and all
// completions run on the main queue.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/Signal.h"
#include "Velloran/viewmodels/PromptDetailViewModel.h"
#include "Velloran/views/UnsavedEdits.h"
#include "platform/dispatch/Queue.h"

namespace velloran {

// A callback the editor waits for: it calls `done` when its work has finished.
using AsyncCallback = std::function<void(std::function<void()> done)>;

struct EditorCallbacks {
  AsyncCallback onMutationCommitted;  // after every save that stored something
  AsyncCallback onDeleteCommitted;    // after a successful delete, before the editor closes
};

class PromptEditorController : public std::enable_shared_from_this<PromptEditorController> {
  struct Passkey {};

 public:
  static constexpr std::chrono::milliseconds kMetadataSaveDelay{350};

  // `unsavedEdits`, when given, is where the editor finds and leaves edits the store does not hold.
  static std::shared_ptr<PromptEditorController> make(std::shared_ptr<PromptDetailViewModel> viewModel,
                                                      EditorCallbacks callbacks, std::ostream& console,
                                                      platform::QueueRef mainQueue,
                                                      std::shared_ptr<UnsavedEdits> unsavedEdits = nullptr);
  PromptEditorController(Passkey, std::shared_ptr<PromptDetailViewModel> viewModel, EditorCallbacks callbacks,
                         std::ostream& console, platform::QueueRef mainQueue,
                         std::shared_ptr<UnsavedEdits> unsavedEdits);
  ~PromptEditorController();
  PromptEditorController(const PromptEditorController&) = delete;
  PromptEditorController& operator=(const PromptEditorController&) = delete;

  // The stored prompt.
  const Prompt& prompt() const { return viewModel_->prompt(); }
  // The newest version (the last in the list), if any, and all the others in list order.
  std::optional<PromptVersion> currentVersion() const;
  std::vector<PromptVersion> olderVersions() const;

  const std::string& versionText() const { return versionText_; }
  void setVersionText(std::string text);
  const std::string& editTitle() const { return editTitle_; }
  void setEditTitle(std::string title);
  const std::vector<std::string>& editTags() const { return editTags_; }
  void setEditTags(std::vector<std::string> tags);
  PromptType editType() const { return editType_; }
  void setEditType(PromptType type);
  // The text that counts as stored: the current version's text as last loaded or saved.
  const std::string& originalVersionText() const { return originalVersionText_; }

  bool showOlderVersions() const { return showOlderVersions_; }
  void toggleOlderVersions();

  // Fills the fields from the stored prompt (a customRole prompt shows as user); keeps a text already
  // typed. Runs each time the editor appears.
  void loadEditState();
  bool isSaveDisabled() const;
  // Why the last save failed ("Änderung konnte nicht gespeichert werden: …"); none after a success.
  const std::optional<std::string>& saveFailure() const { return viewModel_->saveFailure(); }
  // The edits the store does not hold; none when it holds them all.
  std::optional<UnsavedEdit> unsavedEdit() const;
  // Whether ending the application now would lose input (UnsavedEdit::isLostAtQuit).
  bool holdsUnsavedInput() const;
  void saveNewVersion();
  // Deletes the prompt; on success waits for onDeleteCommitted, then calls `dismiss`. A failure is
  // written to the console ("Prompt konnte nicht gelöscht werden: ") and the editor stays.
  void performDelete(std::function<void()> dismiss);

  const Signal<>& changed() const { return changed_; }

  // Runs every automatic save still waiting out its quiet moment, of any editor, open or closed, at
  // once; the wait ends there. For the application's quit, after which no wait would end.
  static void saveWaitingMetadataNow();

 private:
  // One automatic save: it runs once, at the end of its wait or earlier on quit, unless called off.
  struct WaitingMetadataSave {
    bool settled = false;
    std::function<void()> save;
    void runOnce();
  };
  // Every automatic save scheduled and not yet run or called off; each lives in its wait.
  static std::vector<std::weak_ptr<WaitingMetadataSave>>& waitingMetadataSaves();

  void storedPromptChanged();
  void currentVersionChanged(const std::string& text);
  void scheduleMetadataSave();
  void cancelMetadataSave();
  static void saveMetadataIfNeeded(const std::shared_ptr<PromptDetailViewModel>& viewModel,
                                   const AsyncCallback& onMutationCommitted, const std::string& title,
                                   const std::vector<std::string>& tags, PromptType type);
  void reportMutation();
  void restoreUnsavedEdit();

  std::shared_ptr<PromptDetailViewModel> viewModel_;
  EditorCallbacks callbacks_;
  std::ostream& console_;
  platform::QueueRef mainQueue_;
  std::shared_ptr<UnsavedEdits> unsavedEdits_;
  bool unsavedEditRestored_ = false;
  bool deleted_ = false;

  std::string versionText_;
  std::string editTitle_;
  std::vector<std::string> editTags_;
  PromptType editType_ = PromptType::system;
  std::string originalVersionText_;
  bool showOlderVersions_ = false;
  bool versionSavePending_ = false;
  std::string shownCurrentText_;
  // The pending automatic save; none while nothing is pending.
  std::shared_ptr<WaitingMetadataSave> waitingMetadataSave_;
  Subscription promptSubscription_;
  Subscription failureSubscription_;
  Signal<> changed_;
};

}  // namespace velloran
