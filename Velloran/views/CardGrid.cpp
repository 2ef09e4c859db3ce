#include "Velloran/views/CardGrid.h"

#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <unordered_set>

namespace velloran {
namespace {

const std::string kNoText;

// How many cards beyond those on show keep their prompt, for prompts that soon come back.
constexpr std::size_t kIdleCardsKept = 48;

}  // namespace

CardGrid::CardGrid(std::shared_ptr<const platform::Clock> clock, platform::QueueRef mainQueue,
                   QWidget* parent)
    : QScrollArea(parent), clock_(std::move(clock)), mainQueue_(std::move(mainQueue)) {
  setObjectName(QStringLiteral("promptGrid"));
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setWidgetResizable(false);
  setAutoFillBackground(false);
  viewport()->setAutoFillBackground(false);
  canvas_ = new QWidget(this);
  setWidget(canvas_);
  canvas_->setAutoFillBackground(false);  // after setWidget, which turns it on
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { materialise(); });
}

CardGrid::~CardGrid() = default;

void CardGrid::setActionsFactory(std::function<PromptRowActions(const Prompt&)> makeActions) {
  makeActions_ = std::move(makeActions);
  for (const auto& [id, card] : cards_)
    card->setActions(makeActions_ ? makeActions_(card->prompt()) : PromptRowActions{});
}

void CardGrid::setPrompts(const std::vector<Prompt>& prompts) {
  items_.clear();
  items_.reserve(prompts.size());
  for (const Prompt& prompt : prompts) items_.push_back(Item{prompt, QRect()});
  // Heights of prompts no longer listed are kept: a search erased brings them back.
  relayout();
}

int CardGrid::columnWidth() const {
  const int contents = viewport()->width() - 2 * kSidePadding - (kColumns - 1) * kColumnSpacing;
  return std::max(10, contents / kColumns);
}

int CardGrid::heightOf(const Prompt& prompt, int width) {
  MeasuredHeight& measured = heights_[prompt.id];
  // Compared as stored, without making the card's display texts: equal texts give equal ones.
  const std::string& latestText = prompt.versions.empty() ? kNoText : prompt.versions.back().content;
  const bool hasTags = !prompt.tags.empty();
  if (measured.title != prompt.title || measured.latestText != latestText || measured.hasTags != hasTags) {
    measured = MeasuredHeight{prompt.title, latestText, hasTags, {{{-1, 0}, {-1, 0}}}};
  }
  for (const auto& [measuredWidth, height] : measured.heightByWidth) {
    if (measuredWidth == width) return height;
  }
  const int height = PromptRow::heightFor(prompt, width);
  measured.heightByWidth = {{{width, height}, measured.heightByWidth[0]}};
  return height;
}

void CardGrid::relayout() {
  const int width = columnWidth();
  laidOutWidth_ = viewport()->width();
  int y = 0;
  for (std::size_t rowStart = 0; rowStart < items_.size(); rowStart += kColumns) {
    const std::size_t rowEnd = std::min(items_.size(), rowStart + kColumns);
    int rowHeight = 0;
    for (std::size_t index = rowStart; index < rowEnd; ++index) {
      const int height = heightOf(items_[index].prompt, width);
      const int column = static_cast<int>(index - rowStart);
      items_[index].rect = QRect(kSidePadding + column * (width + kColumnSpacing), y, width, height);
      rowHeight = std::max(rowHeight, height);
    }
    y += rowHeight + kRowSpacing;
  }
  contentHeight_ = items_.empty() ? 0 : y - kRowSpacing + kBottomPadding;
  sizeCanvas();
}

void CardGrid::sizeCanvas() {
  // At least as tall as the view: the cards' shadows would otherwise end in a hard edge below a
  // grid shorter than the window.
  canvas_->resize(viewport()->width(), std::max(contentHeight_, viewport()->height()));
  materialise();
}

PromptRow* CardGrid::cardForItem(const Item& item, std::vector<PromptRow*>& spare) {
  const auto found = cards_.find(item.prompt.id);
  if (found != cards_.end()) {
    found->second->setPrompt(item.prompt);
    return found->second;
  }
  PromptRow* card = nullptr;
  if (!spare.empty()) {
    card = spare.back();
    spare.pop_back();
    card->setPrompt(item.prompt);
  } else {
    card = new PromptRow(item.prompt, {}, clock_, canvas_);
    card->installEventFilter(this);
  }
  cards_[item.prompt.id] = card;
  return card;
}

void CardGrid::materialise() {
  const int top = verticalScrollBar()->value();
  const int viewHeight = viewport()->height();
  // Half a screen above and below is made ahead, so a scroll finds its cards ready.
  const QRect band(0, top - viewHeight / 2, canvas_->width(), viewHeight * 2);

  std::vector<const Item*> wanted;
  std::unordered_set<platform::UUID> wantedIds;
  for (const Item& item : items_) {
    if (item.rect.top() > band.bottom()) break;
    if (item.rect.intersects(band)) {
      wanted.push_back(&item);
      wantedIds.insert(item.prompt.id);
    }
  }

  // Cards not wanted now go idle; beyond the few kept for their prompts they become spares.
  std::vector<PromptRow*> spare = std::move(spareCards_);
  std::size_t idle = 0;
  for (auto it = cards_.begin(); it != cards_.end();) {
    if (wantedIds.count(it->first) > 0) {
      ++it;
      continue;
    }
    it->second->hide();
    if (idle < kIdleCardsKept) {
      ++idle;
      ++it;
    } else {
      spare.push_back(it->second);
      it = cards_.erase(it);
    }
  }

  for (const Item* item : wanted) {
    PromptRow* card = cardForItem(*item, spare);
    card->setActions(makeActions_ ? makeActions_(item->prompt) : PromptRowActions{});
    card->setGeometry(item->rect);
    card->show();
  }
  spareCards_ = std::move(spare);
}

PromptRow* CardGrid::cardFor(const platform::UUID& id) const {
  const auto found = cards_.find(id);
  return found != cards_.end() && found->second->isVisibleTo(canvas_) ? found->second : nullptr;
}

QList<PromptRow*> CardGrid::shownCards() const {
  QList<PromptRow*> shown;
  for (const Item& item : items_) {
    if (PromptRow* card = cardFor(item.prompt.id)) shown.append(card);
  }
  return shown;
}

int CardGrid::cardWidgetCount() const {
  return static_cast<int>(cards_.size() + spareCards_.size());
}

QRect CardGrid::itemRect(std::size_t index) const {
  return index < items_.size() ? items_[index].rect : QRect();
}

void CardGrid::scrollToItem(std::size_t index) {
  if (index < items_.size()) verticalScrollBar()->setValue(items_[index].rect.top());
}

void CardGrid::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  if (viewport()->width() != laidOutWidth_) {
    relayout();
  } else {
    sizeCanvas();
  }
}

void CardGrid::cancelPress() {
  longPressTimer_.cancel();
  press_.reset();
}

bool CardGrid::eventFilter(QObject* watched, QEvent* event) {
  auto* card = qobject_cast<PromptRow*>(watched);
  if (card == nullptr) return QScrollArea::eventFilter(watched, event);
  switch (event->type()) {
    // The second press of a double click arrives as a double click: it is a press of its own.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      cancelPress();
      press_ = Press{card->prompt().id, mouse->globalPosition().toPoint(), false};
      QPointer<CardGrid> grid(this);
      longPressTimer_ = platform::Timer::schedule(
          mainQueue_, platform::Deadline::after(std::chrono::milliseconds(kLongPressMilliseconds)), [grid] {
            if (grid == nullptr || !grid->press_ || grid->press_->longPressFired) return;
            grid->press_->longPressFired = true;
            PromptRow* pressed = grid->cardFor(grid->press_->id);
            if (pressed != nullptr && grid->onLongPress_) grid->onLongPress_(pressed->prompt());
          });
      return true;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint moved = mouse->globalPosition().toPoint() - (press_ ? press_->globalPosition : QPoint());
      if (press_ && moved.x() * moved.x() + moved.y() * moved.y() > kTapSlop * kTapSlop) {
        cancelPress();
      }
      return press_.has_value();
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton || !press_) return false;
      const Press press = *press_;
      cancelPress();
      if (!press.longPressFired && press.id == card->prompt().id && onTap_) {
        const Prompt prompt = card->prompt();
        onTap_(prompt);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace velloran
