#include "Velloran/views/PromptEditorController.h"

#include <utility>

#include "Velloran/data/PromptFilter.h"
#include "Velloran/viewmodels/ConsoleLog.h"
#include "platform/text/Characters.h"
#include "platform/text/Normalization.h"

namespace velloran {
namespace {

constexpr const char* kDeleteFailed = "Prompt konnte nicht gelöscht werden: ";

TagSet trimmedTagSet(const std::vector<std::string>& tags) {
  TagSet set;
  for (const std::string& tag : tags) {
    std::string trimmed = platform::trimmed(tag);
    if (!trimmed.empty()) set.insert(std::move(trimmed));
  }
  return set;
}

bool sameTrimmed(std::string_view a, std::string_view b) {
  return platform::canonicallyEqual(platform::trimmed(a), platform::trimmed(b));
}

// Whether an automatic save of these values would store anything: a blank title never is, and
// tags count as a set of trimmed, non-empty tags.
bool metadataDiffers(const Prompt& stored, const std::string& title, const std::vector<std::string>& tags,
                     PromptType type) {
  const std::string trimmedTitle = platform::trimmed(title);
  if (trimmedTitle.empty()) return false;
  return !sameTrimmed(trimmedTitle, stored.title) || type != stored.type ||
         !tagSetsEqual(trimmedTagSet(stored.tags), trimmedTagSet(tags));
}

}  // namespace

std::shared_ptr<PromptEditorController> PromptEditorController::make(
    std::shared_ptr<PromptDetailViewModel> viewModel, EditorCallbacks callbacks, std::ostream& console,
    platform::QueueRef mainQueue, std::shared_ptr<UnsavedEdits> unsavedEdits) {
  auto controller =
      std::make_shared<PromptEditorController>(Passkey{}, std::move(viewModel), std::move(callbacks), console,
                                               std::move(mainQueue), std::move(unsavedEdits));
  std::weak_ptr<PromptEditorController> weak = controller;
  controller->promptSubscription_ = controller->viewModel_->promptChanged().connect([weak] {
    if (auto alive = weak.lock()) alive->storedPromptChanged();
  });
  controller->failureSubscription_ = controller->viewModel_->saveFailureChanged().connect([weak] {
    if (auto alive = weak.lock()) alive->changed_.emit();
  });
  return controller;
}

PromptEditorController::PromptEditorController(Passkey, std::shared_ptr<PromptDetailViewModel> viewModel,
                                               EditorCallbacks callbacks, std::ostream& console,
                                               platform::QueueRef mainQueue,
                                               std::shared_ptr<UnsavedEdits> unsavedEdits)
    : viewModel_(std::move(viewModel)),
      callbacks_(std::move(callbacks)),
      console_(console),
      mainQueue_(std::move(mainQueue)),
      unsavedEdits_(std::move(unsavedEdits)),
      shownCurrentText_(currentText(viewModel_->prompt())) {}

PromptEditorController::~PromptEditorController() {
  // Runs once the editor is gone and no save of its own is still under way, so a save that failed
  // after the user left is kept as well.
  if (!unsavedEdits_ || deleted_) return;
  if (std::optional<UnsavedEdit> edit = unsavedEdit()) unsavedEdits_->keep(prompt().id, std::move(*edit));
}

std::optional<UnsavedEdit> PromptEditorController::unsavedEdit() const {
  const Prompt& stored = prompt();
  const bool textUnsaved =
      !platform::trimmed(versionText_).empty() && !sameTrimmed(versionText_, currentText(stored));
  if (!textUnsaved && !metadataDiffers(stored, editTitle_, editTags_, editType_)) return std::nullopt;
  return UnsavedEdit{editTitle_, editTags_, editType_, textUnsaved ? versionText_ : std::string(),
                     saveFailure().has_value()};
}

bool PromptEditorController::holdsUnsavedInput() const {
  const std::optional<UnsavedEdit> edit = unsavedEdit();
  return edit && edit->isLostAtQuit();
}

std::optional<PromptVersion> PromptEditorController::currentVersion() const {
  const Prompt& stored = prompt();
  if (stored.versions.empty()) return std::nullopt;
  return stored.versions.back();
}

std::vector<PromptVersion> PromptEditorController::olderVersions() const {
  const Prompt& stored = prompt();
  if (stored.versions.size() < 2) return {};
  return {stored.versions.begin(), stored.versions.end() - 1};
}

void PromptEditorController::setVersionText(std::string text) {
  if (text == versionText_) return;
  versionText_ = std::move(text);
  changed_.emit();
}

void PromptEditorController::setEditTitle(std::string title) {
  if (platform::canonicallyEqual(title, editTitle_)) return;
  editTitle_ = std::move(title);
  scheduleMetadataSave();
  changed_.emit();
}

void PromptEditorController::setEditTags(std::vector<std::string> tags) {
  if (textListsEqual(tags, editTags_)) return;
  editTags_ = std::move(tags);
  scheduleMetadataSave();
  changed_.emit();
}

void PromptEditorController::setEditType(PromptType type) {
  if (type == editType_) return;
  editType_ = type;
  scheduleMetadataSave();
  changed_.emit();
}

void PromptEditorController::toggleOlderVersions() {
  showOlderVersions_ = !showOlderVersions_;
  changed_.emit();
}

void PromptEditorController::loadEditState() {
  const Prompt stored = prompt();
  setEditTitle(stored.title);
  setEditTags(stored.tags);
  setEditType(stored.type == PromptType::customRole ? PromptType(PromptType::user) : stored.type);
  if (versionText_.empty() && !stored.versions.empty()) versionText_ = stored.versions.back().content;
  originalVersionText_ = versionText_;
  restoreUnsavedEdit();
  changed_.emit();
}

void PromptEditorController::restoreUnsavedEdit() {
  if (!unsavedEdits_ || std::exchange(unsavedEditRestored_, true)) return;
  std::optional<UnsavedEdit> edit = unsavedEdits_->take(prompt().id);
  if (!edit) return;
  setEditTitle(std::move(edit->title));
  setEditTags(std::move(edit->tags));
  setEditType(edit->type);
  if (!edit->text.empty()) versionText_ = std::move(edit->text);
}

void PromptEditorController::storedPromptChanged() {
  const std::string text = currentText(prompt());
  if (text != shownCurrentText_) {
    shownCurrentText_ = text;
    currentVersionChanged(text);
  }
  changed_.emit();
}

void PromptEditorController::currentVersionChanged(const std::string& text) {
  if (sameTrimmed(text, originalVersionText_)) return;
  originalVersionText_ = text;
  // A text the user is typing is never replaced.
  if (versionText_.empty()) versionText_ = text;
}

bool PromptEditorController::isSaveDisabled() const {
  const std::string text = platform::trimmed(versionText_);
  return text.empty() || platform::trimmed(editTitle_).empty() || sameTrimmed(text, originalVersionText_) ||
         versionSavePending_;
}

std::vector<std::weak_ptr<PromptEditorController::WaitingMetadataSave>>&
PromptEditorController::waitingMetadataSaves() {
  static std::vector<std::weak_ptr<WaitingMetadataSave>> saves;
  return saves;
}

void PromptEditorController::WaitingMetadataSave::runOnce() {
  if (settled) return;
  settled = true;
  save();
}

void PromptEditorController::saveWaitingMetadataNow() {
  const auto waiting = std::exchange(waitingMetadataSaves(), {});
  for (const auto& entry : waiting) {
    if (const auto save = entry.lock()) save->runOnce();
  }
}

void PromptEditorController::cancelMetadataSave() {
  if (waitingMetadataSave_) waitingMetadataSave_->settled = true;
  waitingMetadataSave_.reset();
}

void PromptEditorController::scheduleMetadataSave() {
  cancelMetadataSave();
  // The values of this change; a later change cancels this pass and schedules its own. The pass
  // holds what it needs itself, not this controller, so it still runs when the editor has closed
  // meanwhile, and keeps nothing alive should it never run.
  auto waiting = std::make_shared<WaitingMetadataSave>();
  waiting->save = [viewModel = viewModel_, report = callbacks_.onMutationCommitted, title = editTitle_,
                   tags = editTags_,
                   type = editType_] { saveMetadataIfNeeded(viewModel, report, title, tags, type); };
  waitingMetadataSave_ = waiting;
  auto& all = waitingMetadataSaves();
  std::erase_if(all, [](const auto& entry) {
    const auto save = entry.lock();
    return !save || save->settled;
  });
  all.push_back(waiting);
  mainQueue_->asyncAfter(kMetadataSaveDelay, [waiting] { waiting->runOnce(); });
}

void PromptEditorController::saveMetadataIfNeeded(const std::shared_ptr<PromptDetailViewModel>& viewModel,
                                                  const AsyncCallback& onMutationCommitted,
                                                  const std::string& title,
                                                  const std::vector<std::string>& tags, PromptType type) {
  const Prompt& stored = viewModel->prompt();
  if (!metadataDiffers(stored, title, tags, type)) return;
  const std::string trimmedTitle = platform::trimmed(title);
  // The stored text as it is now, not as it was when the wait began: an automatic save must never
  // put an older text back as a new version after "Speichern" stored a newer one meanwhile.
  const std::string storedText = platform::trimmed(currentText(stored));
  viewModel->save(trimmedTitle, tags, type, storedText, "", [onMutationCommitted](bool saved) {
    if (saved && onMutationCommitted) onMutationCommitted([] {});
  });
}

void PromptEditorController::saveNewVersion() {
  if (isSaveDisabled()) return;
  versionSavePending_ = true;
  changed_.emit();
  viewModel_->save(platform::trimmed(editTitle_), editTags_, editType_, platform::trimmed(versionText_), "",
                   [self = shared_from_this()](bool saved) {
                     self->versionSavePending_ = false;
                     if (saved) self->originalVersionText_ = self->versionText_;
                     self->changed_.emit();
                     if (saved) self->reportMutation();
                   });
}

void PromptEditorController::reportMutation() {
  if (callbacks_.onMutationCommitted) callbacks_.onMutationCommitted([] {});
}

void PromptEditorController::performDelete(std::function<void()> dismiss) {
  // A pending automatic save would write the prompt back after the delete. (Saves asked for while
  // the delete runs store nothing either: the view model refuses them.)
  cancelMetadataSave();
  viewModel_->deletePrompt(
      [self = shared_from_this(), dismiss = std::move(dismiss)](platform::Result<void> deleted) {
        if (!deleted.ok()) {
          logFailure(self->console_, kDeleteFailed, deleted.error());
          // The edits the cancelled automatic save would have stored are still wanted.
          self->scheduleMetadataSave();
          return;
        }
        self->deleted_ = true;
        const auto close = [dismiss] {
          if (dismiss) dismiss();
        };
        if (self->callbacks_.onDeleteCommitted) return self->callbacks_.onDeleteCommitted(close);
        close();
      });
}

}  // namespace velloran
