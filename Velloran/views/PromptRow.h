#pragma once
// The card of one prompt in the library grid: the title (at most 2 lines), pills with the type and
// the version number, how long ago it was changed, a preview of the newest text (at most 3 lines)
// and the tags. Its object name is "promptRow_" and the prompt's id in upper case.
//
// The card performs nothing itself: its context menu offers "ChatGPT", "Bearbeiten" and "Löschen"
// (in that order) and its accessibility actions "Prompt kopieren", "In ChatGPT öffnen" and "Prompt
// bearbeiten"; each calls the matching action the grid handed in. Clicks and presses on the card
// are the grid's business (it installs its own handling).
//
// The card is drawn from a picture of all of it - its face, every part and the finish - kept for its
// size and content and made again only when one of them changes (its prompt, its size, the relative
// time, a part moved, resized, shown or hidden by itself, its look); the parts paint only into that picture.
// A grid of cards thus repaints as a handful of images.
//
// Cards are reused: setPrompt() shows another prompt or a newer state of the same one; handed the
// prompt it already shows (the same shared value) it only reads the clock again. The card's
// height for a width depends only on the prompt's texts, so the grid can compute it with heightFor()
// before any card exists; the card lays out its parts by the same computation.
//
// Main thread only.

#include <QPixmap>
#include <functional>
#include <memory>

#include "Velloran/data/PromptList.h"
#include "Velloran/ui/GlassCard.h"
#include "platform/time/Clock.h"

class QMenu;
class QScrollArea;
class QHBoxLayout;

namespace velloran {

class ElidedLabel;
class MetaChip;

struct PromptRowActions {
  std::function<void()> onCopy;
  std::function<void()> onOpenChat;
  std::function<void()> onEdit;
  std::function<void()> onDelete;
};

class PromptRow final : public GlassCard {
  Q_OBJECT

 public:
  // `clock` gives "now" for the relative time.
  PromptRow(SharedPrompt prompt, PromptRowActions actions, std::shared_ptr<const platform::Clock> clock,
            QWidget* parent = nullptr);

  const Prompt& prompt() const { return *prompt_; }
  const SharedPrompt& sharedPrompt() const { return prompt_; }
  void setPrompt(SharedPrompt prompt);
  const PromptRowActions& actions() const { return actions_; }
  void setActions(PromptRowActions actions);
  // Reads the clock again for the relative time.
  void refreshRelativeTime();

  // The menu of the three actions, in order, with the object names promptRowChatGPTButton,
  // promptRowEditButton and promptRowDeleteButton. The caller owns it.
  QMenu* makeActionMenu(QWidget* parent);

  // What the card shows of a prompt.
  static QString typeLabel(const Prompt& prompt);
  static QString versionLabel(const Prompt& prompt);
  static QString previewText(const Prompt& prompt);
  static QString objectNameFor(const Prompt& prompt);

  static int heightFor(const Prompt& prompt, int width);
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Geometry;
  static Geometry geometryFor(const Prompt& prompt, int width);

  void showPrompt();
  void showTags();
  void placeParts();
  // Every part reports its paints and changes to the card (eventFilter).
  void watchParts();
  void pictureOutdated();

  SharedPrompt prompt_;
  PromptRowActions actions_;
  std::shared_ptr<const platform::Clock> clock_;
  ElidedLabel* title_;
  QScrollArea* metaRow_;
  MetaChip* typePill_;
  MetaChip* versionPill_;
  ElidedLabel* relativeTime_;
  ElidedLabel* preview_;
  QScrollArea* tagRow_;
  QHBoxLayout* tagLayout_;
  std::vector<std::string> shownTags_;
  QPixmap picture_;
  bool pictureCurrent_ = false;
  bool drawingPicture_ = false;  // while the parts paint into the picture
};

// Makes the accessibility actions of cards known to Qt's accessibility layer. Called once by
// whoever builds the first card; later calls do nothing.
void installPromptRowAccessibility();

}  // namespace velloran
