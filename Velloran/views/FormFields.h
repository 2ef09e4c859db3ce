#pragma once
// The form fields of the create sheet and the editor: a single-line field on the control
// background in a rounded rectangle (radius 12, padding 10), a plain-text editor for prompt
// texts on a rounded rectangle (radius 16, padding 10, at least 180 high) with a faint shadow, and
// the type picker. The editor takes plain text only: pasted rich text arrives as its characters.
//
// Main thread only.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "Velloran/data/PromptType.h"
#include "Velloran/views/SegmentedPicker.h"
#include "Velloran/views/TagInputView.h"

namespace velloran {

QLineEdit* makeTitleField(const QString& objectName, const QString& placeholder, QWidget* parent);
QPlainTextEdit* makeContentEditor(const QString& objectName, QWidget* parent);

// The type picker: one segment per prompt type, in the order of PromptType::allCases().
SegmentedPicker* makeTypePicker(QWidget* parent);
int typePickerIndex(PromptType type);
PromptType typeAtPickerIndex(int index);

// The title field, type picker and tag input that the create sheet and the editor both show, stacked
// in `layout` (not yet placed anywhere; the caller adds it).
struct PromptFormFields {
  QVBoxLayout* layout;
  QLineEdit* title;
  SegmentedPicker* type;
  TagInputView* tags;
};
PromptFormFields makePromptFormFields(const QString& titleObjectName, const QString& tagsPlaceholder,
                                      std::vector<std::string> tagSuggestions, QWidget* parent);

}  // namespace velloran
