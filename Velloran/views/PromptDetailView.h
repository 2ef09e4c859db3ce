#pragma once
// The editor page of one prompt ("Details"), pushed by the library window.
//
// From the top: the stored title in large type; the card "Stammdaten & Inhalt" with the title field
// ("editPromptTitleField"), the type picker (System, User), the tag input ("Tags"), the current
// version's chips ("v<N>" and its date), the text editor ("editPromptContentEditor"), the note on
// what is saved how, and "Speichern" ("saveEditedPromptButton"); the card "Ältere Versionen" with
// the folded list of older versions, newest first, each copied to the clipboard by a click or its
// context menu; the card "Aktionen" with "Prompt löschen" ("deletePromptButton"), which asks
// "Diesen Prompt wirklich löschen?" first and closes the editor after a successful delete.
//
// A save that failed is told above the save row ("saveFailureBanner") until a save succeeds; the
// fields keep what was typed.
//
// The rules of saving are PromptEditorController's; this page shows its state and feeds it the
// user's edits. Main thread only; the window's NavigationHost owns the page.

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/data/Signal.h"
#include "Velloran/viewmodels/PromptDetailViewModel.h"
#include "Velloran/views/Clipboard.h"
#include "Velloran/views/NavigationHost.h"
#include "Velloran/views/PromptEditorController.h"
#include "platform/dispatch/Queue.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace velloran {

class ElidedLabel;
class MetaChip;
class SegmentedPicker;
class SheetHost;
class NoticeStrip;
class TagInputView;

struct EditorServices {
  std::ostream& console;
  platform::QueueRef mainQueue;
  std::shared_ptr<Clipboard> clipboard;
  SheetHost& sheets;
  NavigationHost& navigation;
  // Where edits the store does not hold wait for the prompt's next editor.
  std::shared_ptr<UnsavedEdits> unsavedEdits;
};

class PromptDetailView final : public NavigationPage {
  Q_OBJECT

 public:
  PromptDetailView(std::shared_ptr<PromptDetailViewModel> viewModel, std::vector<std::string> suggestedTags,
                   EditorCallbacks callbacks, EditorServices services, QWidget* parent = nullptr);
  ~PromptDetailView() override;

  QString pageTitle() const override;
  void pageDidAppear() override;

  PromptEditorController& controller() const { return *controller_; }
  // "1 ältere Version", "2 ältere Versionen", the number in the current locale's digits.
  static QString olderVersionsCountText(std::size_t count);
  // Puts the version's text, exactly as stored, on the clipboard.
  void copyVersionText(const PromptVersion& version);
  // Asks "Diesen Prompt wirklich löschen?" and deletes on "Löschen".
  void confirmDelete();

 private:
  void buildMetadataCard(QVBoxLayout* column, std::vector<std::string> suggestedTags);
  void buildOlderVersionsCard(QVBoxLayout* column);
  void buildActionsCard(QVBoxLayout* column);
  void showState();
  void showStoredPrompt();
  void showOlderVersions();

  std::shared_ptr<PromptEditorController> controller_;
  EditorServices services_;

  ElidedLabel* largeTitle_;
  QLineEdit* title_;
  SegmentedPicker* type_;
  TagInputView* tags_;
  QWidget* versionChips_;
  MetaChip* versionChip_;
  MetaChip* dateChip_;
  QPlainTextEdit* content_;
  QPushButton* save_;
  NoticeStrip* saveFailure_;
  QWidget* olderVersionsCard_;
  QVBoxLayout* olderVersionsColumn_;
  QWidget* olderVersionsContent_ = nullptr;
  std::vector<std::string> shownOlderVersionIds_;
  bool shownUnfolded_ = false;
  QPushButton* delete_;
  Subscription stateSubscription_;
};

}  // namespace velloran
