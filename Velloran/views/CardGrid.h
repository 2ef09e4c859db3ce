#pragma once
// The library's grid of prompt cards: three equal columns (14 apart, rows 16 apart, 16 from the
// sides, 12 below the last row) in a vertical scroll area, one card per prompt in the given order,
// each row as tall as its tallest card and every card top-aligned in its cell.
//
// Lazy and reusing: a card widget exists only for prompts in or near the visible part of the grid.
// Card heights come from the prompts' texts alone (PromptRow::heightFor), kept per prompt and width
// and measured again only when those texts change (CardHeights.h), so a new list of ten thousand
// prompts is laid out without making a widget for each. Visible first: the rows from the top down to a screen
// below the visible part are measured at once; rows further down stand at an estimated height until the rest
// is measured in small steps on the main queue, from the top down, so rows once measured never move again.
// Scrolling into rows not yet measured measures everything above them first. A card belongs to its prompt's
// id: while that prompt stays in the list (or comes back to it soon, as when a search is typed and then
// erased) the same widget shows it. Widgets of prompts long gone are reused for others rather than made anew.
//
// While the grid is shown, the cards on show read the clock again every kRelativeTimeRefresh, so
// "vor 42 Sekunden" moves on without a reload; the refresh runs on the given main queue. A card kept
// idle through a refresh reads the clock when it is shown again; one shown again before the next
// refresh keeps its time, as a card that stayed on show does, so a keystroke that brings back
// dozens of cards does not format dozens of times.
//
// Presses: a click (pressed and released within 0.35 s without moving more than 10 pixels) taps
// the card; holding it 0.35 s without moving is a long press. Both report the card's prompt. The
// long-press timer runs on the given main queue.
//
// Main thread only.

#include <QScrollArea>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Velloran/data/PromptList.h"
#include "Velloran/views/CardHeights.h"
#include "Velloran/views/PromptRow.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/time/Clock.h"

namespace velloran {

class CardGrid final : public QScrollArea {
  Q_OBJECT

 public:
  // `measure` gives a card's height; PromptRow::heightFor when not given.
  CardGrid(std::shared_ptr<const platform::Clock> clock, platform::QueueRef mainQueue,
           QWidget* parent = nullptr, CardHeights::Measure measure = {});
  ~CardGrid() override;

  // The actions a card's menu and accessibility actions run, made per prompt.
  void setActionsFactory(std::function<PromptRowActions(const SharedPrompt&)> makeActions);
  void setOnTap(std::function<void(const Prompt&)> onTap) { onTap_ = std::move(onTap); }
  void setOnLongPress(std::function<void(const Prompt&)> onLongPress) {
    onLongPress_ = std::move(onLongPress);
  }

  // The list is shared, not copied; it must not change while the grid shows it.
  void setPrompts(std::shared_ptr<const PromptList> prompts);
  std::size_t promptCount() const { return prompts_->size(); }
  // Whether every card's height is measured (no row stands at an estimate).
  bool isFullyMeasured() const { return measuredRows_ >= rowCount(); }

  // The card now showing the prompt on screen (or near it); nullptr when none does.
  PromptRow* cardFor(const platform::UUID& id) const;
  // The cards on show, in the grid's order.
  QList<PromptRow*> shownCards() const;
  // Every card widget alive, shown or kept for later.
  int cardWidgetCount() const;
  // Where the prompt at `index` lies in the grid's content.
  QRect itemRect(std::size_t index) const;
  void scrollToItem(std::size_t index);

  static constexpr int kColumns = 3;
  static constexpr int kColumnSpacing = 14;
  static constexpr int kRowSpacing = 16;
  static constexpr int kSidePadding = 16;
  static constexpr int kBottomPadding = 12;
  static constexpr int kLongPressMilliseconds = 350;
  static constexpr int kTapSlop = 10;
  static constexpr std::chrono::seconds kRelativeTimeRefresh{10};

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Press {
    platform::UUID id;
    QPoint globalPosition;
    bool longPressFired = false;
  };

  int columnWidth() const;
  std::size_t rowCount() const { return (promptCount() + kColumns - 1) / kColumns; }
  // Lays every row out: rows starting above `measureBottom` with measured heights, the rest with
  // what is known of them. Schedules measuring while estimates remain.
  void relayoutMeasuringTo(int measureBottom);
  void relayout();
  // The bottom of the part measured at once: the visible part and half a screen below it.
  int bandBottom() const;
  void scheduleMeasuring();
  void measureNextRows();
  void sizeCanvas();
  void materialise();
  PromptRow* cardForItem(std::size_t index, std::vector<PromptRow*>& spare);
  PromptRowActions actionsFor(const SharedPrompt& prompt) const;
  void cancelPress();
  // The cards on show read the clock again; those kept idle are noted to do so when shown.
  void refreshRelativeTimes();
  void scheduleRelativeTimeRefresh();

  std::shared_ptr<const platform::Clock> clock_;
  platform::QueueRef mainQueue_;
  std::function<PromptRowActions(const SharedPrompt&)> makeActions_;
  std::function<void(const Prompt&)> onTap_;
  std::function<void(const Prompt&)> onLongPress_;

  QWidget* canvas_;
  std::shared_ptr<const PromptList> prompts_;
  std::vector<QRect> rects_;  // by index into prompts_
  int laidOutWidth_ = -1;
  int contentHeight_ = 0;
  std::size_t measuredRows_ = 0;  // the rows from the top whose heights are measured
  int measuredBottom_ = 0;        // where the measured rows end
  bool measuringScheduled_ = false;
  CardHeights heights_;
  std::unordered_map<platform::UUID, PromptRow*> cards_;
  std::vector<PromptRow*> spareCards_;
  std::unordered_set<PromptRow*> idleThroughRefresh_;  // idle cards whose time a refresh passed by

  std::optional<Press> press_;
  platform::Timer longPressTimer_;
  platform::Timer relativeTimeTimer_;
};

}  // namespace velloran
