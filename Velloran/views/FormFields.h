#pragma once
// The form fields of the create sheet and the editor: a single-line field on the control
// background in a rounded rectangle (radius 12, padding 10), a plain-text editor for prompt
// texts on a rounded rectangle (radius 16, padding 10, at least 180 high) with a faint shadow, and
// the type picker. The editor takes plain text only: pasted rich text arrives as its characters.
//
// Main thread only.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "Velloran/data/PromptType.h"
#include "Velloran/ui/GlassCard.h"
#include "Velloran/ui/SegmentedPicker.h"
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

// A section heading inside a form card, in the headline style.
QLabel* makeFormHeading(const char* text, QWidget* parent);

// A card of the create sheet and the editor: a white-sheen glass card (radius 16, padding 16) whose
// rows `column` stacks `spacing` apart.
struct FormCard {
  GlassCard* card;
  QVBoxLayout* column;
};
FormCard makeFormCard(int spacing, QWidget* parent);

// The card the create sheet and the editor open with: "Stammdaten & Inhalt" over the title, type and
// tag fields; each adds its own content block below.
struct PromptFormCard {
  FormCard card;
  PromptFormFields fields;
};
PromptFormCard makePromptFormCard(const QString& titleObjectName, const QString& tagsPlaceholder,
                                  std::vector<std::string> tagSuggestions, QWidget* parent);

}  // namespace velloran
