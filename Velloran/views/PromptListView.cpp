#include "Velloran/views/PromptListView.h"

#include <QLineEdit>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "Velloran/analytics/AnalyticsConsent.h"
#include "Velloran/ui/Animations.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/viewmodels/PromptDetailViewModel.h"
#include "Velloran/viewmodels/PromptTexts.h"
#include "Velloran/viewmodels/StoreFailureText.h"
#include "Velloran/views/Banners.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/ConfirmationSheet.h"
#include "Velloran/views/CreatePromptSheet.h"
#include "Velloran/views/FilterMenu.h"
#include "Velloran/views/LibraryFilter.h"
#include "Velloran/views/LibraryParts.h"
#include "Velloran/views/LoadingOverlay.h"
#include "Velloran/views/PromptDetailView.h"
#include "Velloran/views/SheetHost.h"
#include "Velloran/views/ViewTexts.h"
#include "platform/text/Characters.h"

namespace velloran {
namespace {

constexpr int kListPadding = 16;
constexpr int kBannerTopPadding = 6;
constexpr int kBannerSpacing = 6;
constexpr int kSearchFieldWidth = 220;
constexpr int kToastShowMilliseconds = 250;
constexpr int kToastHideMilliseconds = 200;
constexpr int kToastTravel = 24;

QToolButton* makeToolbarButton(const char* objectName, const char* label, const char* symbol,
                               QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromUtf8(objectName));
  button->setText(withoutMnemonic(uiText(label)));
  button->setToolTip(uiText(label));
  button->setAccessibleName(uiText(label));
  button->setIcon(symbolIcon(QString::fromUtf8(symbol), primaryLabelColor()));
  button->setIconSize(QSize(18, 18));
  button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button->setAutoRaise(true);
  button->setCursor(Qt::PointingHandCursor);
  button->setFocusPolicy(Qt::TabFocus);  // no focus ring left behind by a click
  return button;
}

// A Boolean always has a stored form, so the only failure left is a disk write, which the domain
// keeps pending and retries by itself: nothing for the window to do about it.
void storeTrue(platform::PreferencesDomain& defaults, const char* key) {
  static_cast<void>(defaults.setObject(key, platform::Value(true)));
}

}  // namespace

PromptListView::PromptListView(LibraryContext context, NavigationHost& navigation, SheetHost& sheets,
                               QWidget* parent)
    : NavigationPage(parent), context_(std::move(context)), navigation_(navigation), sheets_(sheets) {
  setObjectName(QStringLiteral("promptListView"));

  settingsButton_ = makeToolbarButton("settingsButton", texts::kSettings, "gearshape", this);
  connect(settingsButton_, &QToolButton::clicked, this, [this] {
    if (!context_.makeSettingsSheet) return;
    QPointer<SheetHost> host(&sheets_);
    sheets_.present(context_.makeSettingsSheet([host] {
      if (host != nullptr) host->dismiss();
    }));
  });
  filterButton_ =
      makeToolbarButton("filterMenuButton", texts::kFilter, "line.3.horizontal.decrease.circle", this);
  filterMenu_ = makeFilterMenu();
  filterButton_->setMenu(filterMenu_);
  filterButton_->setPopupMode(QToolButton::InstantPopup);
  filterButton_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
  search_ = new QLineEdit(this);
  search_->setObjectName(QStringLiteral("searchField"));
  search_->setPlaceholderText(uiText(texts::kSearchPlaceholder));
  search_->setClearButtonEnabled(true);
  search_->setFixedWidth(kSearchFieldWidth);
  search_->addAction(symbolIcon(QStringLiteral("magnifyingglass"), secondaryLabelColor()),
                     QLineEdit::LeadingPosition);
  search_->setStyleSheet(
      QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 0.7);"
                     " border: 1px solid rgba(0, 0, 0, 0.08); border-radius: 7px; padding: 3px; }"));
  connect(search_, &QLineEdit::textChanged, this, &PromptListView::searchTextChanged);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  bannerArea_ = new QWidget(this);
  auto* bannerLayout = new QVBoxLayout(bannerArea_);
  bannerLayout->setContentsMargins(kListPadding, kBannerTopPadding, kListPadding, 0);
  bannerLayout->setSpacing(kBannerSpacing);
  damagedStoreNotice_ = new NoticeStrip(bannerArea_);
  damagedStoreNotice_->setObjectName(QStringLiteral("damagedStoreNotice"));
  damagedStoreNotice_->addCloseButton(uiText(texts::kCloseNotice),
                                      [this] { context_.viewModel->dismissDamagedStoreNotice(); });
  bannerLayout->addWidget(damagedStoreNotice_);
  banner_ = new SyncBannerView(bannerArea_);
  bannerLayout->addWidget(banner_);
  bannerArea_->hide();
  column->addWidget(bannerArea_);

  mainColumn_ = new QStackedWidget(this);
  mainColumn_->addWidget(new EmptyLibraryCard([this] { showCreateSheet(); }, mainColumn_));
  auto* content = new QWidget(mainColumn_);
  auto* contentColumn = new QVBoxLayout(content);
  contentColumn->setContentsMargins(0, 0, 0, 0);
  contentColumn->setSpacing(8);
  hint_ = new UsageHint(
      [this] {
        storeTrue(*context_.defaults, kHintHiddenKey);
        showMainColumn();
      },
      content);
  contentColumn->addWidget(hint_);
  grid_ = new CardGrid(context_.environment.clock, context_.environment.mainQueue, content);
  grid_->setActionsFactory([this](const SharedPrompt& prompt) {
    QPointer<PromptListView> page(this);
    const auto call = [page, prompt](void (PromptListView::*action)(const Prompt&)) {
      return [page, prompt, action] {
        if (page != nullptr) (page->*action)(*prompt);
      };
    };
    return PromptRowActions{call(&PromptListView::copyPrompt), call(&PromptListView::openInChat),
                            call(&PromptListView::editPrompt), call(&PromptListView::askToDelete)};
  });
  grid_->setOnTap([this](const Prompt& prompt) { copyPrompt(prompt); });
  grid_->setOnLongPress([this](const Prompt& prompt) { editPrompt(prompt); });
  contentColumn->addWidget(grid_, 1);
  mainColumn_->addWidget(content);
  column->addWidget(mainColumn_, 1);

  loading_ = new LoadingOverlay(this);
  loading_->hide();
  toast_ = new ToastBanner(this);
  toast_->hide();
  addButton_ = new AddPromptButton(this);
  connect(addButton_, &QAbstractButton::clicked, this, [this] { showCreateSheet(); });

  syncShortcut_ = new QShortcut(this);
  syncShortcut_->setObjectName(QStringLiteral("syncNowShortcut"));
  syncShortcut_->setKeys({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)});
  syncShortcut_->setContext(Qt::WindowShortcut);
  connect(syncShortcut_, &QShortcut::activated, this, &PromptListView::syncNow);
  // The desktop stand-in for pulling the list down: shown wherever the pointer rests on the library.
  grid_->setToolTip(uiText(texts::kSyncNowHint));

  observeViewModel();
  observePreferences();
  showPrompts();
  showBanners();
}

PromptListView::~PromptListView() = default;

QString PromptListView::pageTitle() const {
  return uiText(texts::kLibraryTitle);
}

QList<QWidget*> PromptListView::toolbarItems() {
  return {settingsButton_, filterButton_, search_};
}

void PromptListView::observeViewModel() {
  const PromptListViewModel& model = *context_.viewModel;
  subscriptions_.push_back(model.promptsChanged().connect([this] { showPrompts(); }));
  subscriptions_.push_back(model.isLoadingChanged().connect([this] { showMainColumn(); }));
  subscriptions_.push_back(model.syncBannerChanged().connect([this] { showBanners(); }));
  subscriptions_.push_back(model.damagedStoreNoticeChanged().connect([this] { showBanners(); }));
  subscriptions_.push_back(model.allTagSuggestionsChanged().connect([this] {
    if (createSheet_ != nullptr) createSheet_->setTagSuggestions(context_.viewModel->allTagSuggestions());
  }));
}

void PromptListView::observePreferences() {
  QPointer<PromptListView> page(this);
  preferencesObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kPreferencesDidChangeNotification, context_.defaults.get(), context_.environment.mainQueue,
      [page](const platform::Notification&) {
        if (page == nullptr) return;
        page->showMainColumn();
      });
}

bool PromptListView::hintHidden() const {
  return context_.defaults->boolForKey(kHintHiddenKey);
}

void PromptListView::showPrompts() {
  grid_->setPrompts(context_.viewModel->sharedPrompts());
  showMainColumn();
}

void PromptListView::showMainColumn() {
  const bool empty = context_.viewModel->prompts().empty();
  const bool loading = context_.viewModel->isLoading();
  mainColumn_->setCurrentIndex(empty && !loading ? 0 : 1);
  hint_->setVisible(!empty && !hintHidden());
  loading_->setVisible(loading);
  placeOverlays();
}

void PromptListView::showBanners() {
  const std::optional<std::string>& notice = context_.viewModel->damagedStoreNotice();
  if (notice) damagedStoreNotice_->setNotice(QString::fromStdString(*notice), true);
  damagedStoreNotice_->setVisible(notice.has_value());
  const std::optional<SyncBanner>& banner = context_.viewModel->syncBanner();
  if (banner) banner_->setBanner(*banner);
  banner_->setVisible(banner.has_value());
  bannerArea_->setVisible(notice || banner);
}

void PromptListView::resizeEvent(QResizeEvent* event) {
  NavigationPage::resizeEvent(event);
  placeOverlays();
}

void PromptListView::placeOverlays() {
  const QSize loadingSize = loading_->sizeHint();
  loading_->setGeometry(
      QRect(QPoint((width() - loadingSize.width()) / 2, (height() - loadingSize.height()) / 2), loadingSize));
  const QSize toastSize = toast_->sizeFor(width() - 2 * kListPadding);
  toast_->setGeometry(
      QRect(QPoint((width() - toastSize.width()) / 2, height() - kToastBottomPadding - toastSize.height()),
            toastSize));
  const QSize addSize = addButton_->sizeHint();
  addButton_->setGeometry(QRect(
      QPoint(width() - kAddButtonInset - addSize.width(), height() - kAddButtonInset - addSize.height()),
      addSize));
  loading_->raise();
  toast_->raise();
  addButton_->raise();
}

void PromptListView::pageDidAppear() {
  const std::optional<std::string>& search = context_.viewModel->filter().search;
  search_->setText(search ? QString::fromStdString(*search) : QString());
  AnalyticsConsent consent(context_.defaults, context_.environment.analytics);
  consent.apply();
  if (consent.takeAskRequest() && context_.makeConsentSheet) {
    QPointer<SheetHost> host(&sheets_);
    sheets_.present(context_.makeConsentSheet([host] {
      if (host != nullptr) host->dismiss();
    }));
  }
  if (!startedUp_) {
    startedUp_ = true;
    std::weak_ptr<PromptListViewModel> model = context_.viewModel;
    context_.viewModel->load(true, [model] {
      if (auto alive = model.lock()) alive->refreshTagSuggestions();
    });
  }
}

void PromptListView::reloadSoon() {
  // One turn of the main queue first, so the filter just assigned is the one the load reads.
  std::weak_ptr<PromptListViewModel> model = context_.viewModel;
  context_.environment.mainQueue->async([model] {
    if (auto alive = model.lock()) alive->load(false);
  });
}

void PromptListView::searchTextChanged(const QString& text) {
  context_.viewModel->setFilter(withSearchText(context_.viewModel->filter(), text.toStdString()));
  filterChanged();
}

void PromptListView::applySelection() {
  context_.viewModel->setFilter(withSelection(context_.viewModel->filter(), selectedType_, selectedTags_));
  filterChanged();
}

void PromptListView::filterChanged() {
  // Another selection starts at its top: the old offset would land in the middle of other cards.
  grid_->verticalScrollBar()->setValue(0);
  reloadSoon();
}

FilterMenu* PromptListView::makeFilterMenu() {
  FilterMenu::Choices choices;
  choices.reset = [this] {
    selectedType_.reset();
    selectedTags_.clear();
    PromptFilter filter = context_.viewModel->filter();
    filter.search.reset();
    context_.viewModel->setFilter(std::move(filter));
    search_->clear();
    applySelection();
  };
  choices.chooseType = [this](std::optional<PromptType> type) {
    selectedType_ = type;
    applySelection();
  };
  choices.clearTags = [this] {
    selectedTags_.clear();
    applySelection();
  };
  choices.toggleTag = [this](const std::string& tag) {
    if (selectedTags_.erase(tag) == 0) selectedTags_.insert(tag);
    applySelection();
  };
  return new FilterMenu(
      [this] {
        return FilterMenu::State{selectedType_, selectedTags_,
                                 filterMenuTags(context_.viewModel->prompts(), selectedTags_)};
      },
      std::move(choices), this);
}

void PromptListView::copyPrompt(const Prompt& prompt) {
  const std::optional<std::string> text = context_.viewModel->copyPrompt(prompt);
  if (!text) return;
  context_.clipboard->setString(*text);

  toast_->setText(fillText(texts::kCopiedToastFormat, QString::fromStdString(prompt.title)));
  // A toast on its way out comes back in rather than vanishing under the new text.
  const bool leaving = toastExit_ != nullptr;
  if (leaving) {
    toastExit_->stop();
    toastExit_.clear();
  }
  const bool alreadyShown = toast_->isVisible() && !leaving;
  placeOverlays();
  const QPoint shownAt = toast_->pos();
  toast_->show();
  if (!alreadyShown) {
    auto* entry = new QPropertyAnimation(toast_, "pos", toast_);
    entry->setDuration(animationDuration(kToastShowMilliseconds));
    entry->setStartValue(shownAt + QPoint(0, kToastTravel));
    entry->setEndValue(shownAt);
    entry->setEasingCurve(QEasingCurve::OutBack);
    entry->start(QAbstractAnimation::DeleteWhenStopped);
  }
  // Each copy starts the quiet period anew; the timer it replaces is cancelled.
  QPointer<PromptListView> page(this);
  hideToastTimer_ = platform::Timer::schedule(
      context_.environment.mainQueue,
      platform::Deadline::after(std::chrono::milliseconds(kToastMilliseconds)), [page] {
        if (page != nullptr) page->hideToast();
      });
}

void PromptListView::hideToast() {
  if (!toast_->isVisible()) return;
  auto* exit = new QPropertyAnimation(toast_, "pos", toast_);
  toastExit_ = exit;
  exit->setDuration(animationDuration(kToastHideMilliseconds));
  exit->setStartValue(toast_->pos());
  exit->setEndValue(toast_->pos() + QPoint(0, kToastTravel));
  exit->setEasingCurve(QEasingCurve::OutCubic);
  QPointer<ToastBanner> toast(toast_);
  connect(exit, &QAbstractAnimation::finished, toast_, [toast] {
    if (toast != nullptr) toast->hide();
  });
  exit->start(QAbstractAnimation::DeleteWhenStopped);
}

void PromptListView::openInChat(const Prompt& prompt) {
  const std::string text = chatText(prompt);
  if (text.empty()) return;
  context_.clipboard->setString(text);
  context_.workspace->openURL(kChatURL);
}

void PromptListView::editPrompt(const Prompt& prompt) {
  const std::shared_ptr<PromptListViewModel>& model = context_.viewModel;
  std::weak_ptr<PromptListViewModel> weakModel = model;
  // Both callbacks reload the list without the indicator, then the tag suggestions.
  const AsyncCallback refreshLibrary = [weakModel](std::function<void()> done) {
    const auto finish = [done] {
      if (done) done();
    };
    auto alive = weakModel.lock();
    if (!alive) return finish();
    alive->load(false, [weakModel, finish] {
      if (auto stillAlive = weakModel.lock()) return stillAlive->refreshTagSuggestions(finish);
      finish();
    });
  };
  auto editor = PromptDetailViewModel::make(prompt, model->promptRepository(), context_.environment);
  navigation_.push(new PromptDetailView(
      editor, model->allTagSuggestions(), EditorCallbacks{refreshLibrary, refreshLibrary},
      EditorServices{context_.environment.console, context_.environment.mainQueue, context_.clipboard,
                     sheets_, navigation_, unsavedEdits_}));
}

void PromptListView::askToDelete(const Prompt& prompt) {
  promptToDelete_ = prompt;
  QPointer<PromptListView> page(this);
  std::weak_ptr<PromptListViewModel> model = context_.viewModel;
  ConfirmationSheet::present(
      sheets_, uiText(texts::kDeleteQuestion), uiText(texts::kDelete), uiText(texts::kCancel),
      [page, model] {
        if (page == nullptr || !page->promptToDelete_) return;
        auto alive = model.lock();
        if (!alive) return;
        alive->deletePrompt(page->promptToDelete_->id, [page] {
          if (page != nullptr) page->promptToDelete_.reset();
        });
      },
      [page] {
        if (page != nullptr) page->promptToDelete_.reset();
      });
}

void PromptListView::showCreateSheet() {
  QPointer<PromptListView> page(this);
  auto* sheet = new CreatePromptSheet(
      draft_, context_.viewModel->allTagSuggestions(),
      [page] {
        if (page != nullptr) page->sheets_.dismiss();
      },
      [page] {
        if (page != nullptr) page->saveNewPrompt();
      });
  sheet->setSavePending(createPending_);
  sheet->setSaveFailure(createFailure_);
  if (sheets_.present(sheet)) createSheet_ = sheet;
}

void PromptListView::saveNewPrompt() {
  if (createPending_ || !canSave(draft_)) return;
  createPending_ = true;
  createFailure_.reset();
  if (createSheet_ != nullptr) {
    createSheet_->setSavePending(true);
    createSheet_->setSaveFailure(createFailure_);
  }
  QPointer<PromptListView> page(this);
  context_.viewModel->createPrompt(draft_, [page](platform::Result<void> saved) {
    if (page == nullptr) return;
    page->createPending_ = false;
    if (saved.ok()) {
      page->draft_ = PromptDraft{};
      if (page->createSheet_ != nullptr && page->sheets_.currentSheet() == page->createSheet_) {
        page->sheets_.dismiss();
      }
      return;
    }
    // A failed save keeps the sheet open with everything typed, and says why; the message stays
    // with the form should the sheet be closed and opened again.
    page->createFailure_ = storeFailureMessage(kPromptNotCreatedText, saved.error());
    if (page->createSheet_ != nullptr) {
      page->createSheet_->setSavePending(false);
      page->createSheet_->setSaveFailure(page->createFailure_);
    }
  });
}

bool PromptListView::holdsUnsavedInput() const {
  const bool draftTyped = !platform::trimmed(draft_.title).empty() ||
                          !platform::trimmed(draft_.content).empty() || !draft_.tags.empty();
  const auto* editor = qobject_cast<const PromptDetailView*>(navigation_.topPage());
  return draftTyped || unsavedEdits_->holdsInputLostAtQuit() ||
         (editor != nullptr && editor->controller().holdsUnsavedInput());
}

void PromptListView::syncNow() {
  context_.viewModel->syncNow();
}

}  // namespace velloran
