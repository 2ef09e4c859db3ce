#include "Velloran/views/CreatePromptSheet.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "Velloran/ui/Buttons.h"
#include "Velloran/ui/GlassCard.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/ui/SegmentedPicker.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/FormFields.h"
#include "Velloran/views/TagInputView.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

constexpr int kPreferredWidth = 560;
constexpr int kSheetPadding = 16;

}  // namespace

CreatePromptSheet::CreatePromptSheet(PromptDraft& draft, std::vector<std::string> tagSuggestions,
                                     std::function<void()> onCancel, std::function<void()> onSave,
                                     QWidget* parent)
    : SheetSurface(parent), draft_(draft), onSave_(std::move(onSave)) {
  setObjectName(QStringLiteral("createPromptSheet"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* header = new QWidget(this);
  header_ = header;
  auto* headerRow = new QHBoxLayout(header);
  headerRow->setContentsMargins(kSheetPadding, 12, kSheetPadding, 12);
  cancel_ = makeButton(uiText(texts::kCancel), header);
  styleBorderedButton(*cancel_);
  save_ = makeButton(uiText(texts::kSave), header);
  save_->setObjectName(QStringLiteral("saveNewPromptButton"));
  styleProminentButton(*save_, accentBlueColor());
  auto* title = new QLabel(header);
  title->setTextFormat(Qt::PlainText);
  title->setText(uiText(texts::kCreatePrompt));
  title->setFont(textFont(TextStyle::headline));
  headerRow->addWidget(cancel_);
  headerRow->addStretch();
  headerRow->addWidget(title);
  headerRow->addStretch();
  headerRow->addWidget(save_);
  column->addWidget(header);

  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setAutoFillBackground(false);
  scroll->viewport()->setAutoFillBackground(false);
  auto* body = new QWidget(scroll);
  body_ = body;
  auto* bodyColumn = new QVBoxLayout(body);
  bodyColumn->setContentsMargins(kSheetPadding, 4 + 4, kSheetPadding, kSheetPadding + 4);
  bodyColumn->setSpacing(16);

  failure_ = makeFailureStrip(body);
  bodyColumn->addWidget(failure_);

  const PromptFormCard form =
      makePromptFormCard(QStringLiteral("newPromptTitleField"), uiText(texts::kNewTagsPlaceholder),
                         std::move(tagSuggestions), body);
  GlassCard* card = form.card.card;
  title_ = form.fields.title;
  type_ = form.fields.type;
  tags_ = form.fields.tags;

  auto* contentBlock = new QVBoxLayout;
  contentBlock->setSpacing(10);
  contentBlock->addWidget(makeFormHeading(texts::kPromptContent, card));
  content_ = makeContentEditor(QStringLiteral("newPromptContentEditor"), card);
  contentBlock->addWidget(content_);
  form.card.column->addLayout(contentBlock);

  bodyColumn->addWidget(card);
  bodyColumn->addStretch();
  scroll->setWidget(body);
  body->setAutoFillBackground(false);  // after setWidget, which turns it on
  body->installEventFilter(this);
  column->addWidget(scroll, 1);

  // The form shows the window's draft and writes every change straight back into it.
  title_->setText(QString::fromStdString(draft_.title));
  type_->setCurrentIndex(typePickerIndex(draft_.type));
  tags_->setTags(draft_.tags);
  content_->setPlainText(QString::fromStdString(draft_.content));
  connect(title_, &QLineEdit::textChanged, this, [this](const QString& text) {
    draft_.title = text.toStdString();
    updateSaveButton();
  });
  type_->setOnChanged([this](int index) { draft_.type = typeAtPickerIndex(index); });
  tags_->setOnTagsChanged([this](const std::vector<std::string>& tags) { draft_.tags = tags; });
  connect(content_, &QPlainTextEdit::textChanged, this, [this] {
    draft_.content = content_->toPlainText().toStdString();
    updateSaveButton();
  });

  connect(cancel_, &QPushButton::clicked, this, [onCancel = std::move(onCancel)] {
    if (onCancel) onCancel();
  });
  connect(save_, &QPushButton::clicked, this, [this] {
    if (save_->isEnabled() && onSave_) onSave_();
  });
  auto* saveShortcut = new QShortcut(this);
  saveShortcut->setKeys({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  saveShortcut->setContext(Qt::WidgetWithChildrenShortcut);
  connect(saveShortcut, &QShortcut::activated, save_, &QPushButton::click);
  updateSaveButton();

  // On the next turn of the event loop, once the sheet is on screen.
  QTimer::singleShot(0, title_, [field = QPointer<QLineEdit>(title_)] {
    if (field != nullptr) field->setFocus(Qt::OtherFocusReason);
  });
}

void CreatePromptSheet::setTagSuggestions(std::vector<std::string> suggestions) {
  tags_->setSuggestions(std::move(suggestions));
}

void CreatePromptSheet::setSavePending(bool pending) {
  savePending_ = pending;
  updateSaveButton();
}

void CreatePromptSheet::setSaveFailure(const std::optional<std::string>& message) {
  showFailure(*failure_, message);
}

void CreatePromptSheet::updateSaveButton() {
  save_->setEnabled(!savePending_ && canSave(draft_));
}

bool CreatePromptSheet::eventFilter(QObject* watched, QEvent* event) {
  // The form grew or shrank (a line of chips, the suggestions): the sheet asks to be placed anew.
  if (watched == body_ && event->type() == QEvent::LayoutRequest) updateGeometry();
  return SheetSurface::eventFilter(watched, event);
}

QSize CreatePromptSheet::sizeHint() const {
  // As tall as the form needs at the preferred width; the host shortens it to fit the window and
  // the form then scrolls.
  const int formHeight = body_->layout()->totalHeightForWidth(kPreferredWidth);
  return {kPreferredWidth, header_->sizeHint().height() + formHeight};
}

}  // namespace velloran
