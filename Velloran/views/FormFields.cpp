#include "Velloran/views/FormFields.h"

#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

constexpr int kContentMinimumHeight = 180;
constexpr int kCardPadding = 16;
constexpr int kCardRadius = 16;

}  // namespace

QLineEdit* makeTitleField(const QString& objectName, const QString& placeholder, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(objectName);
  field->setPlaceholderText(placeholder);
  field->setFont(textFont(TextStyle::body));
  field->setStyleSheet(
      QStringLiteral("QLineEdit { background: white; border: none; border-radius: 12px; padding: 10px; }"));
  return field;
}

QPlainTextEdit* makeContentEditor(const QString& objectName, QWidget* parent) {
  auto* editor = new QPlainTextEdit(parent);
  editor->setObjectName(objectName);
  editor->setFont(textFont(TextStyle::body));
  editor->setMinimumHeight(kContentMinimumHeight);
  editor->setStyleSheet(QStringLiteral(
      "QPlainTextEdit { background: white; border: 1px solid white; border-radius: 16px; padding: 10px; }"));
  new DropShadow(editor, 16, ShadowStyle{blackAt(0.05), 10, QPoint(0, 4)});
  return editor;
}

SegmentedPicker* makeTypePicker(QWidget* parent) {
  QStringList names;
  for (PromptType type : PromptType::allCases()) {
    names.append(
        QString::fromUtf8(type.displayName().data(), static_cast<qsizetype>(type.displayName().size())));
  }
  return new SegmentedPicker(uiText(texts::kTypePicker), names, parent);
}

int typePickerIndex(PromptType type) {
  const auto cases = PromptType::allCases();
  for (std::size_t index = 0; index < cases.size(); ++index) {
    if (cases[index] == type) return static_cast<int>(index);
  }
  return 0;
}

PromptType typeAtPickerIndex(int index) {
  return PromptType::allCases()[static_cast<std::size_t>(index)];
}

PromptFormFields makePromptFormFields(const QString& titleObjectName, const QString& tagsPlaceholder,
                                      std::vector<std::string> tagSuggestions, QWidget* parent) {
  PromptFormFields fields{};
  fields.layout = new QVBoxLayout;
  fields.layout->setSpacing(12);
  fields.title = makeTitleField(titleObjectName, uiText(texts::kTitlePlaceholder), parent);
  fields.layout->addWidget(fields.title);
  fields.type = makeTypePicker(parent);
  fields.layout->addWidget(fields.type);
  fields.tags = new TagInputView(tagsPlaceholder, std::move(tagSuggestions), 2, 8, parent);
  fields.layout->addWidget(fields.tags);
  return fields;
}

QLabel* makeFormHeading(const char* text, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(uiText(text));
  label->setFont(textFont(TextStyle::headline));
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, primaryLabelColor());
  label->setPalette(palette);
  return label;
}

FormCard makeFormCard(int spacing, QWidget* parent) {
  auto* card = new GlassCard(kCardRadius, GlassTint::whiteSheen(), parent);
  auto* column = new QVBoxLayout(card);
  column->setContentsMargins(kCardPadding, kCardPadding, kCardPadding, kCardPadding);
  column->setSpacing(spacing);
  return FormCard{card, column};
}

PromptFormCard makePromptFormCard(const QString& titleObjectName, const QString& tagsPlaceholder,
                                  std::vector<std::string> tagSuggestions, QWidget* parent) {
  const FormCard card = makeFormCard(16, parent);
  card.column->addWidget(makeFormHeading(texts::kMasterDataAndContent, card.card));
  const PromptFormFields fields =
      makePromptFormFields(titleObjectName, tagsPlaceholder, std::move(tagSuggestions), card.card);
  card.column->addLayout(fields.layout);
  return PromptFormCard{card, fields};
}

}  // namespace velloran
