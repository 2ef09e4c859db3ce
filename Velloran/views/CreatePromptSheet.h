#pragma once
// The create sheet: "Prompt anlegen" with "Abbrechen" and "Speichern", a card with the title field,
// the type picker (System, User), the tag input and the prompt's text.
//
// The form is the library window's draft, edited in place, so what was typed is still there when
// the sheet opens again after "Abbrechen". "Speichern" is enabled only while title and text, each
// trimmed, are non-empty and no save is running; it asks the window to save. Ctrl+Return saves too
// (when enabled); Return in a field never does. A save that failed leaves the sheet open with the
// form as it was, and the window says why above the form until the next save starts.
//
// Object names: "saveNewPromptButton", "newPromptTitleField", "newPromptContentEditor",
// "saveFailureBanner".
// Main thread only.

#include <QPointer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/ui/SheetSurface.h"
#include "Velloran/viewmodels/PromptDraft.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velloran {

class SegmentedPicker;
class NoticeStrip;
class TagInputView;

class CreatePromptSheet final : public SheetSurface {
  Q_OBJECT

 public:
  // `draft` belongs to the window and must outlive the sheet.
  CreatePromptSheet(PromptDraft& draft, std::vector<std::string> tagSuggestions,
                    std::function<void()> onCancel, std::function<void()> onSave, QWidget* parent = nullptr);

  void setTagSuggestions(std::vector<std::string> suggestions);
  // While a save runs, "Speichern" stays disabled.
  void setSavePending(bool pending);
  // What the last save's failure message is; none hides it.
  void setSaveFailure(const std::optional<std::string>& message);

  QPushButton* saveButton() const { return save_; }
  NoticeStrip* saveFailureBanner() const { return failure_; }
  QPushButton* cancelButton() const { return cancel_; }
  QLineEdit* titleField() const { return title_; }
  QPlainTextEdit* contentEditor() const { return content_; }
  SegmentedPicker* typePicker() const { return type_; }
  TagInputView* tagInput() const { return tags_; }

  QSize sizeHint() const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void updateSaveButton();

  PromptDraft& draft_;
  bool savePending_ = false;
  std::function<void()> onSave_;
  QWidget* header_;
  QWidget* body_;
  QPushButton* cancel_;
  QPushButton* save_;
  NoticeStrip* failure_;
  QLineEdit* title_;
  SegmentedPicker* type_;
  TagInputView* tags_;
  QPlainTextEdit* content_;
};

}  // namespace velloran
