#include "Velloran/views/CardGrid.h"

#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <unordered_set>

namespace velloran {
namespace {

// How many cards beyond those on show keep their prompt, for prompts that soon come back.
constexpr std::size_t kIdleCardsKept = 48;

// Rows measured in one step on the main queue: a few milliseconds, so typing and scrolling carry on
// between steps.
constexpr std::size_t kRowsPerMeasuringStep = 100;

}  // namespace

CardGrid::CardGrid(std::shared_ptr<const platform::Clock> clock, platform::QueueRef mainQueue,
                   QWidget* parent, CardHeights::Measure measure)
    : QScrollArea(parent),
      clock_(std::move(clock)),
      mainQueue_(std::move(mainQueue)),
      prompts_(std::make_shared<const PromptList>()),
      heights_(measure ? std::move(measure) : CardHeights::Measure(&PromptRow::heightFor)) {
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

void CardGrid::setActionsFactory(std::function<PromptRowActions(const SharedPrompt&)> makeActions) {
  makeActions_ = std::move(makeActions);
  for (const auto& [id, card] : cards_) card->setActions(actionsFor(card->sharedPrompt()));
}

PromptRowActions CardGrid::actionsFor(const SharedPrompt& prompt) const {
  return makeActions_ ? makeActions_(prompt) : PromptRowActions{};
}

void CardGrid::setPrompts(std::shared_ptr<const PromptList> prompts) {
  prompts_ = prompts ? std::move(prompts) : std::make_shared<const PromptList>();
  // Heights of prompts no longer listed are kept: a search erased brings them back.
  relayout();
}

int CardGrid::columnWidth() const {
  const int contents = viewport()->width() - 2 * kSidePadding - (kColumns - 1) * kColumnSpacing;
  return std::max(10, contents / kColumns);
}

int CardGrid::bandBottom() const {
  return verticalScrollBar()->value() + viewport()->height() * 3 / 2;
}

void CardGrid::relayout() {
  relayoutMeasuringTo(bandBottom());
}

void CardGrid::relayoutMeasuringTo(int measureBottom) {
  const int width = columnWidth();
  laidOutWidth_ = viewport()->width();
  const PromptList& prompts = *prompts_;
  rects_.assign(prompts.size(), QRect());
  const std::vector<std::optional<int>> known = heights_.known(prompts, width);
  measuredRows_ = 0;
  measuredBottom_ = 0;
  int y = 0;
  for (std::size_t rowStart = 0; rowStart < prompts.size(); rowStart += kColumns) {
    const std::size_t rowEnd = std::min(prompts.size(), rowStart + kColumns);
    const bool measureRow = y <= measureBottom;
    bool rowMeasured = true;
    int rowHeight = 0;
    for (std::size_t index = rowStart; index < rowEnd; ++index) {
      int height = 0;
      if (known[index]) {
        height = *known[index];
      } else if (measureRow) {
        height = heights_.heightOf(prompts[index], width);
      } else {
        height = heights_.estimate(*prompts[index], width);
        rowMeasured = false;
      }
      const int column = static_cast<int>(index - rowStart);
      rects_[index] = QRect(kSidePadding + column * (width + kColumnSpacing), y, width, height);
      rowHeight = std::max(rowHeight, height);
    }
    y += rowHeight + kRowSpacing;
    if (rowMeasured && measuredRows_ == rowStart / kColumns) {
      ++measuredRows_;
      measuredBottom_ = y;
    }
  }
  contentHeight_ = prompts.empty() ? 0 : y - kRowSpacing + kBottomPadding;
  if (!isFullyMeasured()) scheduleMeasuring();
  sizeCanvas();
}

void CardGrid::scheduleMeasuring() {
  if (measuringScheduled_) return;
  measuringScheduled_ = true;
  QPointer<CardGrid> grid(this);
  mainQueue_->async([grid] {
    if (grid != nullptr) grid->measureNextRows();
  });
}

void CardGrid::measureNextRows() {
  measuringScheduled_ = false;
  if (isFullyMeasured()) return;
  const int width = columnWidth();
  const PromptList& prompts = *prompts_;
  const std::size_t end = std::min(prompts.size(), (measuredRows_ + kRowsPerMeasuringStep) * kColumns);
  for (std::size_t index = measuredRows_ * kColumns; index < end; ++index)
    heights_.heightOf(prompts[index], width);
  relayout();
}

void CardGrid::sizeCanvas() {
  // At least as tall as the view: the cards' shadows would otherwise end in a hard edge below a
  // grid shorter than the window.
  canvas_->resize(viewport()->width(), std::max(contentHeight_, viewport()->height()));
  materialise();
}

PromptRow* CardGrid::cardForItem(std::size_t index, std::vector<PromptRow*>& spare) {
  const SharedPrompt& prompt = (*prompts_)[index];
  PromptRow* card = nullptr;
  if (const auto found = cards_.find(prompt->id); found != cards_.end()) {
    card = found->second;
  } else if (!spare.empty()) {
    card = spare.back();
    spare.pop_back();
    cards_[prompt->id] = card;
  } else {
    card = new PromptRow(prompt, actionsFor(prompt), clock_, canvas_);
    card->installEventFilter(this);
    cards_[prompt->id] = card;
    return card;
  }
  // The same shared prompt keeps the card's actions, which follow from the prompt alone, and its
  // relative time unless the grid refreshed the times while the card was idle.
  const bool missedRefresh = idleThroughRefresh_.erase(card) > 0;
  if (card->sharedPrompt() == prompt) {
    if (missedRefresh) card->refreshRelativeTime();
    return card;
  }
  card->setPrompt(prompt);
  card->setActions(actionsFor(prompt));
  return card;
}

void CardGrid::materialise() {
  const int top = verticalScrollBar()->value();
  const int viewHeight = viewport()->height();
  // Half a screen above and below is made ahead, so a scroll finds its cards ready.
  const QRect band(0, top - viewHeight / 2, canvas_->width(), viewHeight * 2);
  if (!isFullyMeasured() && band.bottom() > measuredBottom_) {
    // Scrolled into rows laid out from estimates: what lies above is measured first, so that
    // nothing on show moves afterwards. The new layout makes the cards.
    relayoutMeasuringTo(band.bottom());
    return;
  }

  const PromptList& prompts = *prompts_;
  std::vector<std::size_t> wanted;
  std::unordered_set<platform::UUID> wantedIds;
  for (std::size_t index = 0; index < prompts.size(); ++index) {
    if (rects_[index].top() > band.bottom()) break;
    if (rects_[index].intersects(band)) {
      wanted.push_back(index);
      wantedIds.insert(prompts[index]->id);
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

  for (std::size_t index : wanted) {
    PromptRow* card = cardForItem(index, spare);
    card->setGeometry(rects_[index]);
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
  for (const SharedPrompt& prompt : *prompts_) {
    if (PromptRow* card = cardFor(prompt->id)) shown.append(card);
  }
  return shown;
}

int CardGrid::cardWidgetCount() const {
  return static_cast<int>(cards_.size() + spareCards_.size());
}

QRect CardGrid::itemRect(std::size_t index) const {
  return index < rects_.size() ? rects_[index] : QRect();
}

void CardGrid::scrollToItem(std::size_t index) {
  if (index >= rects_.size()) return;
  // Measured through the item first, so that it lies where it will stay.
  while (index / kColumns >= measuredRows_) relayoutMeasuringTo(rects_[index].bottom());
  verticalScrollBar()->setValue(rects_[index].top());
}

void CardGrid::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  if (viewport()->width() != laidOutWidth_) {
    relayout();
  } else {
    sizeCanvas();
  }
}

void CardGrid::showEvent(QShowEvent* event) {
  QScrollArea::showEvent(event);
  refreshRelativeTimes();
  scheduleRelativeTimeRefresh();
}

void CardGrid::hideEvent(QHideEvent* event) {
  QScrollArea::hideEvent(event);
  relativeTimeTimer_.cancel();
}

void CardGrid::refreshRelativeTimes() {
  for (const auto& [id, card] : cards_) {
    if (card->isVisibleTo(canvas_)) {
      card->refreshRelativeTime();
    } else {
      idleThroughRefresh_.insert(card);
    }
  }
}

void CardGrid::scheduleRelativeTimeRefresh() {
  QPointer<CardGrid> grid(this);
  relativeTimeTimer_ =
      platform::Timer::schedule(mainQueue_, platform::Deadline::after(kRelativeTimeRefresh), [grid] {
        if (grid == nullptr) return;
        grid->refreshRelativeTimes();
        grid->scheduleRelativeTimeRefresh();
      });
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
