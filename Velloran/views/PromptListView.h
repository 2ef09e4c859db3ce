#pragma once
// The library window's root page: the searchable, filterable grid of prompt cards.
//
// Header: the title "Prompts", the settings button ("settingsButton"), the filter menu
// ("filterMenuButton", FilterMenu.h) and the search field ("Prompts durchsuchen"). Beneath: the
// notice about a damaged library ("damagedStoreNotice", with a close button) while the view model
// has one, and the sync banner while it has one; then the empty state while the library is empty and
// nothing loads, else the usage hint (until dismissed for good) and the card grid. Over them: the
// loading indicator while a load with the indicator runs, the copy toast ("copiedToast") and the
// floating add button ("addPromptButton").
//
// What the user can do:
//  - type a search (trimmed into the filter, then a reload on the next turn of the main queue);
//  - filter by type and tags through the menu (same reload);
//  - click a card: its text goes to the clipboard, the toast says "Prompt kopiert: <title>" until
//    1.6 s after the last copy, and "prompt_copy" is logged;
//  - "ChatGPT" in a card's menu: the newest text goes to the clipboard, then "chatgpt://" is opened;
//  - hold a card or choose "Bearbeiten": the editor is pushed for that prompt;
//  - "Löschen": after "Diesen Prompt wirklich löschen?" is confirmed, the prompt is deleted;
//  - the add button or the empty state's button: the create sheet (the form survives "Abbrechen");
//  - Ctrl+R or F5 ("syncNowShortcut"): a manual sync;
//  - close the notice about a damaged library.
// Each time the page appears it shows the filter's search text, applies the analytics consent, and
// shows the consent sheet once per installation (both decided by AnalyticsConsent); the first time
// it also loads the library with the indicator and then the tag suggestions.
//
// Main thread only. The page lives in the window's NavigationHost and presents sheets in the
// window's SheetHost, both of which outlive it.

#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/PromptFilter.h"
#include "Velloran/data/Signal.h"
#include "Velloran/viewmodels/PromptDraft.h"
#include "Velloran/views/LibraryContext.h"
#include "Velloran/views/NavigationHost.h"
#include "Velloran/views/UnsavedEdits.h"
#include "platform/dispatch/Timer.h"
#include "platform/notify/NotificationCenter.h"

class QLineEdit;
class QPropertyAnimation;
class QShortcut;
class QStackedWidget;
class QToolButton;

namespace velloran {

class AddPromptButton;
class CardGrid;
class CreatePromptSheet;
class FilterMenu;
class LoadingOverlay;
class NoticeStrip;
class SheetHost;
class SyncBannerView;
class ToastBanner;
class UsageHint;

class PromptListView final : public NavigationPage {
  Q_OBJECT

 public:
  static constexpr int kToastMilliseconds = 1600;
  static constexpr int kToastBottomPadding = 72;
  static constexpr int kAddButtonInset = 18;

  PromptListView(LibraryContext context, NavigationHost& navigation, SheetHost& sheets,
                 QWidget* parent = nullptr);
  ~PromptListView() override;

  QString pageTitle() const override;
  QList<QWidget*> toolbarItems() override;
  void pageDidAppear() override;

  // The actions of the page, as the cards, menus and buttons call them.
  void copyPrompt(const Prompt& prompt);
  void openInChat(const Prompt& prompt);
  void editPrompt(const Prompt& prompt);
  void askToDelete(const Prompt& prompt);
  void showCreateSheet();
  void syncNow();

  CardGrid* grid() const { return grid_; }
  FilterMenu* filterMenu() const { return filterMenu_; }
  QLineEdit* searchField() const { return search_; }
  ToastBanner* toast() const { return toast_; }
  const PromptDraft& draft() const { return draft_; }
  // Whether closing the window now would lose something typed: the create sheet's form, edits of
  // closed editors the store did not take, or the open editor's (PromptEditorController).
  bool holdsUnsavedInput() const;
  const std::optional<Prompt>& promptToDelete() const { return promptToDelete_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void observeViewModel();
  void observePreferences();
  void showPrompts();
  void showMainColumn();
  void showBanners();
  void placeOverlays();
  void searchTextChanged(const QString& text);
  void applySelection();
  void filterChanged();
  void reloadSoon();
  FilterMenu* makeFilterMenu();
  void saveNewPrompt();
  void hideToast();
  bool hintHidden() const;

  LibraryContext context_;
  NavigationHost& navigation_;
  SheetHost& sheets_;

  // The toolbar's items, handed to the header.
  QToolButton* settingsButton_;
  QToolButton* filterButton_;
  QLineEdit* search_;
  FilterMenu* filterMenu_;

  QWidget* bannerArea_;
  NoticeStrip* damagedStoreNotice_;
  SyncBannerView* banner_;
  QStackedWidget* mainColumn_;
  UsageHint* hint_;
  CardGrid* grid_;
  LoadingOverlay* loading_;
  ToastBanner* toast_;
  AddPromptButton* addButton_;
  QShortcut* syncShortcut_;

  // The create sheet's form, kept between openings.
  PromptDraft draft_;
  bool createPending_ = false;
  // Why the last create failed, until the next one starts.
  std::optional<std::string> createFailure_;
  QPointer<CreatePromptSheet> createSheet_;
  // Edits of prompts whose editor closed before they could be stored.
  std::shared_ptr<UnsavedEdits> unsavedEdits_ = std::make_shared<UnsavedEdits>();

  std::optional<PromptType> selectedType_;
  TagSet selectedTags_;
  std::optional<Prompt> promptToDelete_;
  bool startedUp_ = false;
  platform::Timer hideToastTimer_;
  QPointer<QPropertyAnimation> toastExit_;

  std::vector<Subscription> subscriptions_;
  platform::ObserverToken preferencesObserver_;
};

}  // namespace velloran
