#include "Velloran/views/TagInputView.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "Velloran/ui/Chips.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TagWrapLayout.h"
#include "Velloran/ui/TextStyles.h"

namespace velloran {
namespace {

constexpr int kBoxPadding = 10;
constexpr int kBoxCornerRadius = 12;
constexpr int kTagChipSpacing = 8;
constexpr int kFieldPaddingX = 8;
constexpr int kFieldPaddingY = 7;
constexpr int kSuggestionPaddingY = 2;

QString toQString(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

// The borderless field: as wide as its text or placeholder, so the flow can wrap it like a chip,
// and Return stops here.
class TagInputView::Field final : public QLineEdit {
 public:
  explicit Field(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    setFont(textFont(TextStyle::caption));
    setTextMargins(kFieldPaddingX, kFieldPaddingY, kFieldPaddingX, kFieldPaddingY);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette transparent = palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    setPalette(transparent);
    connect(this, &QLineEdit::textChanged, this, [this] {
      updateGeometry();
      if (parentWidget() != nullptr) parentWidget()->updateGeometry();
    });
  }

  QSize sizeHint() const override {
    const QFontMetrics metrics(font());
    const int content =
        std::max(metrics.horizontalAdvance(text()), metrics.horizontalAdvance(placeholderText()));
    // Room for the cursor after the last character.
    int width = content + 2 * kFieldPaddingX + 6;
    // At most a line of the flow: a longer word scrolls inside the field, so what is being typed
    // stays in view instead of running out of the box.
    if (const std::optional<int> line = TagWrapLayout::lineWidthFor(*this)) width = std::min(width, *line);
    return {width, metrics.height() + 2 * kFieldPaddingY};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    QLineEdit::keyPressEvent(event);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      // QLineEdit lets Return travel on to a default button; here it has done its work.
      event->accept();
    }
  }
};

TagInputView::TagInputView(const QString& placeholder, std::vector<std::string> suggestions,
                           int minimumCharactersForSuggestions, int maxSuggestionCount, QWidget* parent)
    : QWidget(parent),
      model_(TagInputModel::Binding{[this] { return tags_; },
                                    [this](std::vector<std::string> tags) {
                                      tags_ = std::move(tags);
                                      if (onTagsChanged_) onTagsChanged_(tags_);
                                    }},
             std::move(suggestions), minimumCharactersForSuggestions, maxSuggestionCount) {
  setCursor(Qt::IBeamCursor);
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);

  // The box's padding lies inside the flow rather than around it: a chip's shadow is clipped by the
  // flow's rectangle, and the padding gives it room to fade out before that edge.
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);

  flow_ = new QWidget(this);
  // As tall as its lines at the width it gets (its size hint is a single line, so a policy capped
  // at the hint would cut every later line away); spare height of the box goes to the stretch
  // below the suggestions.
  QSizePolicy flowPolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  flowPolicy.setHeightForWidth(true);
  flow_->setSizePolicy(flowPolicy);
  flowLayout_ = new TagWrapLayout(kTagChipSpacing, kTagChipSpacing, flow_);
  flowLayout_->setContentsMargins(kBoxPadding, kBoxPadding, kBoxPadding, kBoxPadding);
  field_ = new Field(flow_);
  field_->setPlaceholderText(placeholder);
  field_->installEventFilter(this);
  setFocusProxy(field_);
  flowLayout_->addWidget(field_);
  box->addWidget(flow_);

  suggestionRow_ = new QScrollArea(this);
  suggestionRow_->setObjectName(QStringLiteral("tagSuggestions"));
  // A press on a suggestion must leave the focus in the field: the toolkit hands it to the first
  // widget up from the pressed one that takes focus by click, unless it reaches one whose focus
  // proxy already has it. So the row takes no focus, and the box stands for its field.
  suggestionRow_->setFocusPolicy(Qt::NoFocus);
  suggestionRow_->setFrameShape(QFrame::NoFrame);
  suggestionRow_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  suggestionRow_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  suggestionRow_->setWidgetResizable(true);
  // The row carries the box's padding inside (the flow's bottom padding stands for the spacing
  // above it), so a hidden row leaves no room behind.
  suggestionRow_->setFixedHeight(TagChip::chipHeight() + 2 * kSuggestionPaddingY + kBoxPadding);
  suggestionRow_->setAutoFillBackground(false);
  suggestionRow_->viewport()->setAutoFillBackground(false);
  auto* strip = new QWidget(suggestionRow_);
  suggestionLayout_ = new QHBoxLayout(strip);
  suggestionLayout_->setContentsMargins(kBoxPadding, kSuggestionPaddingY, kBoxPadding,
                                        kSuggestionPaddingY + kBoxPadding);
  suggestionLayout_->setSpacing(kTagChipSpacing);
  suggestionLayout_->addStretch();
  suggestionRow_->setWidget(strip);
  strip->setAutoFillBackground(false);  // after setWidget, which turns it on
  suggestionRow_->hide();
  box->addWidget(suggestionRow_);
  box->addStretch();

  connect(field_, &QLineEdit::textChanged, this,
          [this](const QString& text) { model_.setInputText(text.toStdString()); });
  connect(field_, &QLineEdit::returnPressed, this, [this] { model_.commitInput(); });
  model_.setOnChange([this] { showModelState(); });
}

void TagInputView::setTags(std::vector<std::string> tags) {
  tags_ = std::move(tags);
  showModelState();
}

void TagInputView::setSuggestions(std::vector<std::string> suggestions) {
  model_.setSuggestions(std::move(suggestions));
}

void TagInputView::setOnTagsChanged(std::function<void(const std::vector<std::string>&)> onTagsChanged) {
  onTagsChanged_ = std::move(onTagsChanged);
}

QList<EditableTagChip*> TagInputView::chips() const {
  QList<EditableTagChip*> shown;
  for (int index = 0; index < flowLayout_->count(); ++index) {
    if (auto* chip = qobject_cast<EditableTagChip*>(flowLayout_->itemAt(index)->widget())) shown.append(chip);
  }
  return shown;
}

QList<TagSuggestionButton*> TagInputView::suggestionButtons() const {
  QList<TagSuggestionButton*> shown;
  for (int index = 0; index < suggestionLayout_->count(); ++index) {
    if (auto* button = qobject_cast<TagSuggestionButton*>(suggestionLayout_->itemAt(index)->widget())) {
      shown.append(button);
    }
  }
  return shown;
}

void TagInputView::showModelState() {
  const QString text = toQString(model_.inputText());
  if (field_->text() != text) {
    const QSignalBlocker quiet(field_);
    field_->setText(text);
    field_->setCursorPosition(static_cast<int>(text.size()));
    field_->updateGeometry();
    flow_->updateGeometry();
  }
  if (model_.isFocused() && !field_->hasFocus()) field_->setFocus(Qt::OtherFocusReason);
  showChips();
  showSuggestions();
}

void TagInputView::showChips() {
  if (shownChips_ == tags_) return;
  shownChips_ = tags_;
  // The field leaves the flow and comes back last, after the new chips.
  for (int index = flowLayout_->count() - 1; index >= 0; --index) {
    QLayoutItem* item = flowLayout_->takeAt(index);
    if (auto* chip = qobject_cast<EditableTagChip*>(item->widget())) {
      // Later: the click or double click that removed it may still be running inside it.
      chip->hide();
      chip->deleteLater();
    }
    delete item;
  }
  for (const std::string& tag : tags_) {
    auto* chip = new EditableTagChip(
        toQString(tag), [this, tag] { model_.removeTag(tag); }, [this, tag] { model_.editTag(tag); }, flow_);
    chip->setCursor(Qt::ArrowCursor);
    flowLayout_->addWidget(chip);
    chip->show();  // now, so the flow counts it at once rather than after the next event loop turn
  }
  flowLayout_->addWidget(field_);
  // The box caches the flow's height for a width until the flow says its geometry changed.
  flow_->updateGeometry();
}

void TagInputView::showSuggestions() {
  const std::vector<std::string> suggestions = model_.filteredSuggestions();
  const std::optional<std::string> highlight = model_.highlightedSuggestion();
  if (suggestions == shownSuggestions_) {
    if (highlight != shownHighlight_) showHighlight(highlight);
    return;
  }
  shownSuggestions_ = suggestions;
  while (suggestionLayout_->count() > 1) {
    QLayoutItem* item = suggestionLayout_->takeAt(0);
    if (QWidget* button = item->widget()) {
      button->hide();
      button->deleteLater();
    }
    delete item;
  }
  int position = 0;
  for (const std::string& suggestion : suggestions) {
    auto* button = new TagSuggestionButton(toQString(suggestion), suggestionRow_->widget());
    connect(button, &QAbstractButton::clicked, this,
            [this, suggestion] { model_.selectSuggestion(suggestion); });
    suggestionLayout_->insertWidget(position++, button);
    button->show();
  }
  suggestionRow_->horizontalScrollBar()->setValue(0);
  suggestionRow_->setVisible(!suggestions.empty());
  showHighlight(highlight);
}

void TagInputView::showHighlight(const std::optional<std::string>& highlight) {
  shownHighlight_ = highlight;
  for (TagSuggestionButton* button : suggestionButtons()) {
    const bool highlighted = highlight && button->label() == toQString(*highlight);
    button->setHighlighted(highlighted);
    if (highlighted) suggestionRow_->ensureWidgetVisible(button, 0, 0);
  }
}

bool TagInputView::steerSuggestions(const QKeyEvent& key) {
  if (shownSuggestions_.empty()) return false;
  switch (key.key()) {
    case Qt::Key_Down:
      model_.moveHighlight(1);
      return true;
    case Qt::Key_Up:
      model_.moveHighlight(-1);
      return true;
    case Qt::Key_Escape:
      if (!model_.highlightedSuggestion()) return false;
      model_.clearHighlight();
      return true;
    case Qt::Key_Tab:
      if (key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return false;
      if (!model_.takeHighlightedSuggestion()) model_.selectSuggestion(shownSuggestions_.front());
      return true;
    default:
      return false;
  }
}

void TagInputView::mousePressEvent(QMouseEvent* event) {
  // The whole box focuses the field, not only the field itself.
  field_->setFocus(Qt::MouseFocusReason);
  QWidget::mousePressEvent(event);
}

void TagInputView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintRoundedPanel(painter, rect(), kBoxCornerRadius, controlBackgroundColor(), controlBackgroundColor(), 1);
}

bool TagInputView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_) {
    // Seen before the field's own handling, where Tab would already have moved the focus on.
    if (event->type() == QEvent::KeyPress && steerSuggestions(*static_cast<QKeyEvent*>(event))) return true;
    if (event->type() == QEvent::FocusIn) {
      model_.setFocused(true);
    } else if (event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      model_.setFocused(false);
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velloran
