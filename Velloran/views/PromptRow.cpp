#include "Velloran/views/PromptRow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>

#include "Velloran/ui/Chips.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ViewTexts.h"
#include "platform/text/Characters.h"
#include "platform/text/DateTexts.h"

namespace velloran {
namespace {

constexpr int kPaddingX = 14;
constexpr int kPaddingY = 12;
constexpr int kSectionSpacing = 12;
constexpr int kTitleSpacing = 6;
constexpr int kRowChipSpacing = 8;
constexpr int kRowPaddingY = 2;
constexpr int kTitleLines = 2;
constexpr int kPreviewLines = 3;
constexpr qreal kCardCornerRadius = 16;

QFont titleFont() {
  return textFont(TextStyle::headline);
}

QFont previewFont() {
  return textFont(TextStyle::subheadline);
}

// A strip that scrolls sideways without showing scroll bars; presses and vertical wheel turns
// pass on to the card and the grid.
QScrollArea* makeChipStrip(QWidget* parent, QHBoxLayout*& layout) {
  auto* strip = new QScrollArea(parent);
  strip->setFrameShape(QFrame::NoFrame);
  strip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  strip->setWidgetResizable(true);
  strip->setFocusPolicy(Qt::NoFocus);
  strip->setAutoFillBackground(false);
  strip->viewport()->setAutoFillBackground(false);
  auto* content = new QWidget(strip);
  layout = new QHBoxLayout(content);
  layout->setContentsMargins(0, kRowPaddingY, 0, kRowPaddingY);
  layout->setSpacing(kRowChipSpacing);
  strip->setWidget(content);
  content->setAutoFillBackground(false);  // after setWidget, which turns it on
  return strip;
}

void clearLayout(QHBoxLayout* layout) {
  while (QLayoutItem* item = layout->takeAt(0)) {
    delete item->widget();
    delete item;
  }
}

class PromptRowAccessible final : public QAccessibleWidget {
 public:
  explicit PromptRowAccessible(PromptRow* row) : QAccessibleWidget(row, QAccessible::Grouping) {}

  QStringList actionNames() const override {
    return {uiText(texts::kCopyPromptAction), uiText(texts::kOpenInChatAction),
            uiText(texts::kEditPromptAction)};
  }

  void doAction(const QString& name) override {
    const PromptRowActions& actions = row()->actions();
    const std::function<void()>* action = nullptr;
    if (name == uiText(texts::kCopyPromptAction)) action = &actions.onCopy;
    if (name == uiText(texts::kOpenInChatAction)) action = &actions.onOpenChat;
    if (name == uiText(texts::kEditPromptAction)) action = &actions.onEdit;
    if (action != nullptr && *action) {
      const std::function<void()> run = *action;  // the action may replace the card's actions
      run();
    }
  }

  QStringList keyBindingsForAction(const QString&) const override { return {}; }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name) return QString::fromStdString(row()->prompt().title);
    return QAccessibleWidget::text(kind);
  }

 private:
  PromptRow* row() const { return static_cast<PromptRow*>(widget()); }
};

QAccessibleInterface* promptRowAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(PromptRow::staticMetaObject.className()) && object->isWidgetType()) {
    return new PromptRowAccessible(static_cast<PromptRow*>(object));
  }
  return nullptr;
}

}  // namespace

struct PromptRow::Geometry {
  QRect title;
  QRect metaRow;
  QRect preview;  // empty when there is no preview
  QRect tagRow;   // empty when there are no tags
  int height = 0;
};

void installPromptRowAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(promptRowAccessibleFactory);
    return true;
  }();
  Q_UNUSED(installed);
}

PromptRow::PromptRow(SharedPrompt prompt, PromptRowActions actions,
                     std::shared_ptr<const platform::Clock> clock, QWidget* parent)
    : GlassCard(kCardCornerRadius, GlassTint::whiteSheen(), parent),
      prompt_(std::move(prompt)),
      actions_(std::move(actions)),
      clock_(std::move(clock)) {
  installPromptRowAccessibility();
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  setCursor(Qt::PointingHandCursor);

  title_ = new ElidedLabel(titleFont(), primaryLabelColor(), kTitleLines, this);

  QHBoxLayout* metaLayout = nullptr;
  metaRow_ = makeChipStrip(this, metaLayout);
  typePill_ = new MetaChip(QString(), QStringLiteral("bolt.fill"), metaRow_->widget());
  versionPill_ = new MetaChip(QString(), QStringLiteral("clock.arrow.circlepath"), metaRow_->widget());
  relativeTime_ = new ElidedLabel(textFont(TextStyle::caption), secondaryLabelColor(), 1, metaRow_->widget());
  relativeTime_->setObjectName(QStringLiteral("relativeTime"));
  // In a card too narrow for the whole row the time and the pills give way, each cut with "…",
  // rather than the row growing past the card and being cut off mid-word at its edge.
  relativeTime_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  metaLayout->addWidget(typePill_);
  metaLayout->addWidget(versionPill_);
  metaLayout->addWidget(relativeTime_);
  metaLayout->addStretch();

  preview_ = new ElidedLabel(previewFont(), primaryLabelColor(), kPreviewLines, this);
  tagRow_ = makeChipStrip(this, tagLayout_);

  showPrompt();
}

void PromptRow::watchParts() {
  for (QWidget* part : findChildren<QWidget*>()) {
    if (!part->isWindow()) part->installEventFilter(this);
  }
}

void PromptRow::pictureOutdated() {
  if (!pictureCurrent_) return;
  pictureCurrent_ = false;
  update();
}

bool PromptRow::eventFilter(QObject* watched, QEvent* event) {
  // A window among the parts (a menu, say) is drawn by itself.
  auto* part = qobject_cast<QWidget*>(watched);
  if (part == nullptr || part->isWindow()) return GlassCard::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Paint:
      // Outside the picture a part's paint would only draw again what the picture shows.
      return !drawingPicture_;
    // A part shown or hidden by itself; not the card's own showing and hiding, which the parts hear
    // of too (as Show and Hide).
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
      pictureOutdated();
      break;
    case QEvent::ChildAdded:
      if (auto* added = static_cast<QChildEvent*>(event)->child(); added->isWidgetType()) {
        added->installEventFilter(this);
        pictureOutdated();
      }
      break;
    default:
      break;
  }
  return GlassCard::eventFilter(watched, event);
}

void PromptRow::paintEvent(QPaintEvent*) {
  const qreal scale = devicePixelRatioF();
  if (!pictureCurrent_ || picture_.deviceIndependentSize() != QSizeF(size()) ||
      picture_.devicePixelRatio() != scale) {
    picture_ = QPixmap((QSizeF(size()) * scale).toSize());
    picture_.setDevicePixelRatio(scale);
    picture_.fill(Qt::transparent);
    QPainter painter(&picture_);
    paintFace(painter);
    // The parts in their stacking order, the finish last.
    drawingPicture_ = true;
    for (QObject* child : children()) {
      auto* part = qobject_cast<QWidget*>(child);
      if (part == nullptr || part->isWindow() || !part->isVisibleTo(this)) continue;
      part->render(&painter, part->pos(), QRegion(), QWidget::DrawChildren);
    }
    drawingPicture_ = false;
    pictureCurrent_ = true;
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
}

void PromptRow::changeEvent(QEvent* event) {
  GlassCard::changeEvent(event);
  pictureOutdated();
}

void PromptRow::setPrompt(SharedPrompt prompt) {
  const bool sameLook = prompt == prompt_ || *prompt == *prompt_;
  prompt_ = std::move(prompt);
  if (sameLook) {
    refreshRelativeTime();
    return;
  }
  showPrompt();
}

void PromptRow::setActions(PromptRowActions actions) {
  actions_ = std::move(actions);
}

void PromptRow::refreshRelativeTime() {
  const QString text = QString::fromStdString(platform::relativeTimeText(prompt_->updatedAt, clock_->now()));
  if (text == relativeTime_->text()) return;
  relativeTime_->setText(text);
  pictureOutdated();
}

QString PromptRow::typeLabel(const Prompt& prompt) {
  return QString::fromUtf8(prompt.type.displayName().data(),
                           static_cast<qsizetype>(prompt.type.displayName().size()));
}

QString PromptRow::versionLabel(const Prompt& prompt) {
  const std::int64_t number = prompt.versions.empty() ? 1 : prompt.versions.back().versionNumber;
  return QStringLiteral("v") + QString::number(number);
}

QString PromptRow::previewText(const Prompt& prompt) {
  return QString::fromStdString(platform::trimmed(currentText(prompt)));
}

QString PromptRow::objectNameFor(const Prompt& prompt) {
  return QStringLiteral("promptRow_") + QString::fromStdString(prompt.id.uuidString());
}

void PromptRow::showPrompt() {
  setObjectName(objectNameFor(*prompt_));
  setAccessibleName(QString::fromStdString(prompt_->title));
  title_->setText(QString::fromStdString(prompt_->title));
  typePill_->setLabel(typeLabel(*prompt_));
  versionPill_->setLabel(versionLabel(*prompt_));
  refreshRelativeTime();
  const QString preview = previewText(*prompt_);
  preview_->setText(preview);
  preview_->setVisible(!preview.isEmpty());
  showTags();
  watchParts();
  updateGeometry();
  placeParts();
  pictureOutdated();
}

void PromptRow::showTags() {
  if (shownTags_ == prompt_->tags) return;
  shownTags_ = prompt_->tags;
  clearLayout(tagLayout_);
  for (const std::string& tag : prompt_->tags) {
    auto* chip = new TagChip(QString::fromStdString(tag), tagRow_->widget());
    chip->setAttribute(Qt::WA_TransparentForMouseEvents);
    tagLayout_->addWidget(chip);
  }
  tagLayout_->addStretch();
  tagRow_->setVisible(!prompt_->tags.empty());
}

PromptRow::Geometry PromptRow::geometryFor(const Prompt& prompt, int width) {
  Geometry geometry;
  const int contentWidth = std::max(1, width - 2 * kPaddingX);
  int y = kPaddingY;
  const int titleHeight =
      ElidedLabel::heightFor(QString::fromStdString(prompt.title), titleFont(), kTitleLines, contentWidth);
  geometry.title = QRect(kPaddingX, y, contentWidth, titleHeight);
  y += titleHeight + kTitleSpacing;
  const int metaHeight = MetaChip::chipHeight() + 2 * kRowPaddingY;
  geometry.metaRow = QRect(kPaddingX, y, contentWidth, metaHeight);
  y += metaHeight;
  const QString preview = previewText(prompt);
  if (!preview.isEmpty()) {
    y += kSectionSpacing;
    const int previewHeight = ElidedLabel::heightFor(preview, previewFont(), kPreviewLines, contentWidth);
    geometry.preview = QRect(kPaddingX, y, contentWidth, previewHeight);
    y += previewHeight;
  }
  if (!prompt.tags.empty()) {
    y += kSectionSpacing;
    const int tagHeight = TagChip::chipHeight() + 2 * kRowPaddingY;
    geometry.tagRow = QRect(kPaddingX, y, contentWidth, tagHeight);
    y += tagHeight;
  }
  geometry.height = y + kPaddingY;
  return geometry;
}

int PromptRow::heightFor(const Prompt& prompt, int width) {
  return geometryFor(prompt, width).height;
}

int PromptRow::heightForWidth(int width) const {
  return heightFor(*prompt_, width);
}

QSize PromptRow::sizeHint() const {
  constexpr int kPreferredWidth = 260;
  return {kPreferredWidth, heightForWidth(kPreferredWidth)};
}

void PromptRow::placeParts() {
  const Geometry geometry = geometryFor(*prompt_, width());
  title_->setGeometry(geometry.title);
  // The time takes the room the pills leave (the row's three gaps: between the pills, before the
  // time and before the closing stretch), so it is cut first; the pills give way only once the time
  // is down to a letter and "…".
  const int besideTime =
      typePill_->sizeHint().width() + versionPill_->sizeHint().width() + 3 * kRowChipSpacing;
  relativeTime_->setMaximumWidth(
      std::max(relativeTime_->minimumSizeHint().width(), geometry.metaRow.width() - besideTime));
  metaRow_->setGeometry(geometry.metaRow);
  preview_->setGeometry(geometry.preview);
  tagRow_->setGeometry(geometry.tagRow);
}

void PromptRow::resizeEvent(QResizeEvent* event) {
  GlassCard::resizeEvent(event);
  pictureOutdated();
  placeParts();
}

QMenu* PromptRow::makeActionMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  const auto add = [&](const char* objectName, const char* text, const char* symbol, QColor tint,
                       std::function<void()> PromptRowActions::*action) {
    QAction* entry =
        menu->addAction(symbolIcon(QString::fromUtf8(symbol), tint), withoutMnemonic(uiText(text)));
    entry->setObjectName(QString::fromUtf8(objectName));
    QPointer<PromptRow> row(this);
    connect(entry, &QAction::triggered, menu, [row, action] {
      if (row == nullptr) return;
      const std::function<void()> run = row->actions_.*action;
      if (run) run();
    });
  };
  add("promptRowChatGPTButton", texts::kOpenInChatButton, "sparkles", accentPurpleColor(),
      &PromptRowActions::onOpenChat);
  add("promptRowEditButton", texts::kEdit, "pencil", primaryLabelColor(), &PromptRowActions::onEdit);
  add("promptRowDeleteButton", texts::kDelete, "trash", destructiveRedColor(), &PromptRowActions::onDelete);
  return menu;
}

void PromptRow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = makeActionMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
  event->accept();
}

}  // namespace velloran
