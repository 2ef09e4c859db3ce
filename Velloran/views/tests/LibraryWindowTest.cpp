// The library window driven like a user would: offscreen, through its widgets found by object name.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <QAbstractButton>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>

#include "Velloran/ui/Chips.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/SegmentedPicker.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/ui/testing/WidgetChecks.h"
#include "Velloran/views/Banners.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/ConfirmationSheet.h"
#include "Velloran/views/CreatePromptSheet.h"
#include "Velloran/views/FilterMenu.h"
#include "Velloran/views/LibraryWindow.h"
#include "Velloran/views/NavigationHost.h"
#include "Velloran/views/PromptDetailView.h"
#include "Velloran/views/PromptListView.h"
#include "Velloran/views/SheetHost.h"
#include "Velloran/views/TagInputView.h"
#include "Velloran/views/tests/LibraryTestBed.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;
using testing::makePrompt;
using Texts = std::vector<std::string>;

class LibraryWindowTest : public ::testing::Test {
 protected:
  void open() {
    window_ = std::make_unique<LibraryWindow>(bed_.context());
    window_->resize(980, 700);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    bed_.settle();
  }

  template <class T = QWidget>
  T* find(const char* objectName) const {
    return window_->findChild<T*>(QString::fromUtf8(objectName));
  }

  PromptListView& library() const { return window_->library(); }
  QWidget* sheet() const { return window_->sheets().currentSheet(); }

  void click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    bed_.settle();
  }

  // A click on the card's title area, where nothing but the card handles the press.
  void clickCard(const Prompt& prompt) {
    PromptRow* card = library().grid()->cardFor(prompt.id);
    ASSERT_NE(card, nullptr);
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(20, 16));
    bed_.settle();
  }

  QAction* menuAction(QMenu& menu, const QString& text) const {
    for (QAction* action : menu.actions()) {
      if (action->text() == text) return action;
    }
    return nullptr;
  }

  // Triggers the entry and lets the reload it starts finish.
  void trigger(QMenu& menu, const QString& text) {
    QAction* action = menuAction(menu, text);
    ASSERT_NE(action, nullptr) << text.toStdString();
    action->trigger();
    bed_.settle();
  }

  QStringList entries(QMenu& menu) const {
    QStringList texts;
    for (QAction* action : menu.actions())
      texts.append(action->isSeparator() ? "[" + action->text() + "]" : action->text());
    return texts;
  }

  testing::LibraryTestBed bed_;
  std::unique_ptr<LibraryWindow> window_;
};

TEST_F(LibraryWindowTest, AnEmptyLibraryShowsTheLoadingIndicatorFirstThenTheEmptyState) {
  bed_.skipConsentSheet();
  bed_.repository().holdFetches(true);
  open();
  EXPECT_TRUE(find("loadingOverlay")->isVisible());
  EXPECT_FALSE(find("emptyStateCreatePromptButton")->isVisible()) << "no empty state while loading";

  bed_.repository().holdFetches(false);
  bed_.repository().releaseHeldFetch(0);
  bed_.settle();
  EXPECT_FALSE(find("loadingOverlay")->isVisible());
  EXPECT_TRUE(find("emptyStateCreatePromptButton")->isVisible());
  EXPECT_FALSE(find("usageHint")->isVisible());
  testing::saveScreenshot(*window_);
}

TEST_F(LibraryWindowTest, TheEmptyStateStaysInViewBelowAShortSheet) {
  bed_.skipConsentSheet();
  open();
  window_->resize(1100, 780);  // the window's first size
  bed_.settle();
  QWidget* button = find("emptyStateCreatePromptButton");
  ASSERT_TRUE(button->isVisible());
  // As big as the consent sheet, which a new user sees over the empty library.
  auto* shortSheet = new QWidget;
  (new QVBoxLayout(shortSheet))
      ->addSpacerItem(new QSpacerItem(440, 290, QSizePolicy::Fixed, QSizePolicy::Fixed));
  ASSERT_TRUE(window_->sheets().present(shortSheet));
  bed_.settle();

  const QRect card(button->parentWidget()->mapTo(window_.get(), QPoint(0, 0)),
                   button->parentWidget()->size());
  const QRect shown(shortSheet->mapTo(window_.get(), QPoint(0, 0)), shortSheet->size());
  EXPECT_TRUE(button->isVisible());
  EXPECT_FALSE(card.intersects(shown)) << "the sheet hangs from the top instead of covering the card";
  EXPECT_NEAR(shown.center().x(), window_->rect().center().x(), 1);
  testing::saveScreenshot(*window_);
}

TEST_F(LibraryWindowTest, AGridOfCardsWithTheHint) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Code-Review", {"Prüfe den folgenden Code auf Fehler, Sicherheitslücken und Stil."},
                        {"review", "code"}, PromptType::system, 3));
  bed_.store(makePrompt("Übersetzer", {"Übersetze ins Englische.\nBehalte Fachbegriffe bei."}, {"sprache"},
                        PromptType::user, 90));
  bed_.store(makePrompt("Rolle & Ton <i>kursiv</i>", {}, {}, PromptType::customRole, 60 * 26));
  bed_.store(makePrompt("Zusammenfassung", {"v1", "Fasse den Text in drei Sätzen zusammen."},
                        {"text", "kurz"}, PromptType::user, 60 * 24 * 9));
  open();
  EXPECT_TRUE(find("usageHint")->isVisible());
  EXPECT_EQ(library().grid()->shownCards().size(), 4);
  testing::saveScreenshot(*window_);
}

TEST_F(LibraryWindowTest, CreatingThroughTheSheetStoresTrimmedTextsAsVersionOne) {
  bed_.skipConsentSheet();
  open();
  click(find("emptyStateCreatePromptButton"));
  auto* sheet = qobject_cast<CreatePromptSheet*>(this->sheet());
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->titleField()->hasFocus()) << "the title field takes the focus once the sheet is up";
  auto* save = find<QPushButton>("saveNewPromptButton");
  EXPECT_FALSE(save->isEnabled());
  EXPECT_TRUE(testing::showsWholePlaceholder(*sheet->tagInput()->field()));

  QTest::keyClicks(find("newPromptTitleField"), QStringLiteral("   "));
  QTest::keyClicks(find("newPromptContentEditor"), QStringLiteral("Text"));
  EXPECT_FALSE(save->isEnabled()) << "a title of blanks cannot be saved";
  find<QLineEdit>("newPromptTitleField")->clear();
  QTest::keyClicks(find("newPromptTitleField"), QStringLiteral("  Mein Prompt  "));
  find<QPlainTextEdit>("newPromptContentEditor")->setPlainText(QStringLiteral("  Hallo Welt\n\n"));
  EXPECT_TRUE(save->isEnabled());
  click(sheet->typePicker()->segment(1));
  QTest::keyClicks(sheet->tagInput()->field(), QStringLiteral("review, safety "));
  testing::saveScreenshot(*window_);

  click(save);

  ASSERT_EQ(this->sheet(), nullptr) << "the sheet closes after a successful save";
  const std::vector<Prompt> stored = bed_.stored();
  ASSERT_EQ(stored.size(), 1u);
  const Prompt& prompt = stored.front();
  EXPECT_EQ(prompt.title, "Mein Prompt");
  EXPECT_EQ(prompt.type, PromptType::user);
  EXPECT_FALSE(prompt.isSystem);
  EXPECT_EQ(prompt.tags, (Texts{"review", "safety"}));
  ASSERT_EQ(prompt.versions.size(), 1u);
  EXPECT_EQ(prompt.versions[0].content, "Hallo Welt");
  EXPECT_EQ(prompt.versions[0].versionNumber, 1);
  EXPECT_EQ(prompt.versions[0].notes, "");
  EXPECT_EQ(prompt.versions[0].promptRef, prompt.id);
  EXPECT_NE(library().grid()->cardFor(prompt.id), nullptr);
  EXPECT_EQ(bed_.viewModel()->allTagSuggestions(), (Texts{"review", "safety"}));

  // The form starts over.
  click(find("addPromptButton"));
  sheet = qobject_cast<CreatePromptSheet*>(this->sheet());
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->titleField()->text(), QString());
  EXPECT_EQ(sheet->contentEditor()->toPlainText(), QString());
  EXPECT_TRUE(sheet->tagInput()->tags().empty());
  EXPECT_EQ(sheet->typePicker()->currentIndex(), 0);
}

TEST_F(LibraryWindowTest, CancellingKeepsTheFormForTheNextOpening) {
  bed_.skipConsentSheet();
  open();
  click(find("addPromptButton"));
  QTest::keyClicks(find("newPromptTitleField"), QStringLiteral("Entwurf"));
  QTest::keyClicks(find("newPromptContentEditor"), QStringLiteral("halb fertig"));
  auto* sheet = qobject_cast<CreatePromptSheet*>(this->sheet());
  click(sheet->typePicker()->segment(1));
  click(sheet->cancelButton());
  EXPECT_EQ(this->sheet(), nullptr);

  click(find("addPromptButton"));
  sheet = qobject_cast<CreatePromptSheet*>(this->sheet());
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->titleField()->text(), QStringLiteral("Entwurf"));
  EXPECT_EQ(sheet->contentEditor()->toPlainText(), QStringLiteral("halb fertig"));
  EXPECT_EQ(sheet->typePicker()->currentIndex(), 1);

  // Escape closes the sheet the same way.
  QTest::keyClick(sheet->titleField(), Qt::Key_Escape);
  bed_.settle();
  EXPECT_EQ(this->sheet(), nullptr);
  EXPECT_EQ(library().draft().title, "Entwurf");
  EXPECT_TRUE(bed_.stored().empty());
}

TEST_F(LibraryWindowTest, ReturnInAFieldOfTheSheetNeverSaves) {
  bed_.skipConsentSheet();
  open();
  click(find("addPromptButton"));
  auto* sheet = qobject_cast<CreatePromptSheet*>(this->sheet());
  QTest::keyClicks(sheet->titleField(), QStringLiteral("Titel"));
  QTest::keyClicks(sheet->contentEditor(), QStringLiteral("Text"));
  QTest::keyClick(sheet->titleField(), Qt::Key_Return);
  QTest::keyClicks(sheet->tagInput()->field(), QStringLiteral("tag"));
  QTest::keyClick(sheet->tagInput()->field(), Qt::Key_Return);
  bed_.settle();
  EXPECT_EQ(this->sheet(), sheet);
  EXPECT_EQ(sheet->tagInput()->tags(), Texts{"tag"});
  EXPECT_TRUE(bed_.stored().empty());

  // Ctrl+Return is the keyboard's way to save.
  QTest::keyClick(sheet->titleField(), Qt::Key_Return, Qt::ControlModifier);
  bed_.settle();
  EXPECT_EQ(bed_.stored().size(), 1u);
}

TEST_F(LibraryWindowTest, AFailedSaveKeepsTheSheetOpenWithEverythingTypedAndSaysWhy) {
  bed_.skipConsentSheet();
  open();
  click(find("addPromptButton"));
  EXPECT_FALSE(find("saveFailureBanner")->isVisible());
  QTest::keyClicks(find("newPromptTitleField"), QStringLiteral("Wichtig"));
  QTest::keyClicks(find("newPromptContentEditor"), QStringLiteral("Nicht verlieren"));
  bed_.repository().failNext(testing::ControllableRepository::Operation::Save,
                             platform::Error{"SQLiteErrorDomain", 13, "database or disk is full", {}});
  click(find("saveNewPromptButton"));

  EXPECT_NE(sheet(), nullptr);
  EXPECT_EQ(find<QLineEdit>("newPromptTitleField")->text(), QStringLiteral("Wichtig"));
  EXPECT_EQ(find<QPlainTextEdit>("newPromptContentEditor")->toPlainText(), QStringLiteral("Nicht verlieren"));
  EXPECT_TRUE(find<QPushButton>("saveNewPromptButton")->isEnabled()) << "the user can try again";
  EXPECT_NE(bed_.console().find("Prompt konnte nicht angelegt werden: database or disk is full"),
            std::string::npos);
  EXPECT_TRUE(bed_.stored().empty());
  const QString why = QString::fromUtf8("Prompt konnte nicht angelegt werden: Der Datenträger ist voll.");
  auto* failure = find<NoticeStrip>("saveFailureBanner");
  ASSERT_NE(failure, nullptr);
  EXPECT_TRUE(failure->isVisible());
  EXPECT_EQ(failure->message(), why);
  EXPECT_TRUE(failure->isError());

  // Closed and opened again, the form and the reason are still there.
  click(window_->findChild<CreatePromptSheet*>()->cancelButton());
  click(find("addPromptButton"));
  EXPECT_EQ(find<QPlainTextEdit>("newPromptContentEditor")->toPlainText(), QStringLiteral("Nicht verlieren"));
  EXPECT_EQ(find<NoticeStrip>("saveFailureBanner")->message(), why);

  // The next save that works stores the form and closes the sheet.
  click(find("saveNewPromptButton"));
  EXPECT_EQ(sheet(), nullptr);
  ASSERT_EQ(bed_.stored().size(), 1u);
  EXPECT_EQ(bed_.stored().front().versions.front().content, "Nicht verlieren");
}

TEST_F(LibraryWindowTest, SpeichernIsDisabledWhileTheSaveRunsSoADoublePressSavesOnce) {
  bed_.skipConsentSheet();
  open();
  click(find("addPromptButton"));
  QTest::keyClicks(find("newPromptTitleField"), QStringLiteral("Einmal"));
  QTest::keyClicks(find("newPromptContentEditor"), QStringLiteral("Text"));
  auto* save = find<QPushButton>("saveNewPromptButton");
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_FALSE(save->isEnabled());
  QTest::mouseClick(save, Qt::LeftButton);
  QTest::keyClick(find("newPromptTitleField"), Qt::Key_Return, Qt::ControlModifier);
  bed_.settle();
  EXPECT_EQ(bed_.stored().size(), 1u);
}

TEST_F(LibraryWindowTest, SearchTrimsTheTextIntoTheFilterAndReloads) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Review-Helfer", {"Prüfe"}));
  bed_.store(makePrompt("Übersetzer", {"Übersetze"}));
  open();
  ASSERT_EQ(library().grid()->promptCount(), 2u);

  QTest::keyClicks(library().searchField(), QStringLiteral("  review  "));
  EXPECT_EQ(bed_.viewModel()->filter().search, std::optional<std::string>("review"));
  bed_.settle();
  EXPECT_EQ(library().grid()->promptCount(), 1u);

  library().searchField()->clear();
  EXPECT_EQ(bed_.viewModel()->filter().search, std::nullopt);
  bed_.settle();
  EXPECT_EQ(library().grid()->promptCount(), 2u);
}

TEST_F(LibraryWindowTest, TheFilterMenuOffersTypesAndTagsAndResetsOnlyAnActiveSelection) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Eins", {"a"}, {" review", "R&D"}, PromptType::system));
  bed_.store(makePrompt("Zwei", {"b"}, {"review", "Review"}, PromptType::user));
  bed_.store(makePrompt("Drei", {"c"}, {}, PromptType::customRole));
  open();
  QTest::keyClicks(library().searchField(), QStringLiteral("e"));
  bed_.settle();

  FilterMenu& menu = *library().filterMenu();
  menu.rebuild();
  EXPECT_EQ(entries(menu),
            (QStringList{"[Art]", "Alle Typen", "System", "User", "[Tags]", "R&&D", "Review", "review"}))
      << "no reset while only a search is active; tags trimmed, deduplicated exactly, sorted plainly";

  trigger(menu, "User");
  EXPECT_EQ(bed_.viewModel()->filter().type, std::optional<PromptType>(PromptType::user));
  EXPECT_EQ(bed_.viewModel()->filter().search, std::optional<std::string>("e"));
  EXPECT_EQ(library().grid()->promptCount(), 1u);
  menu.rebuild();
  EXPECT_EQ(entries(menu).first(), QString::fromUtf8("Filter zurücksetzen"));
  EXPECT_TRUE(menuAction(menu, "User")->isChecked()) << "the chosen type carries the check mark";
  EXPECT_FALSE(menuAction(menu, "System")->isChecked());

  trigger(menu, "review");
  menu.rebuild();
  EXPECT_TRUE(entries(menu).contains("Alle Tags"));
  EXPECT_TRUE(menuAction(menu, "review")->isChecked());

  trigger(menu, QString::fromUtf8("Filter zurücksetzen"));
  EXPECT_EQ(bed_.viewModel()->filter().type, std::nullopt);
  EXPECT_TRUE(bed_.viewModel()->filter().tags.empty());
  EXPECT_EQ(bed_.viewModel()->filter().search, std::nullopt);
  EXPECT_EQ(library().searchField()->text(), QString());
  EXPECT_EQ(library().grid()->promptCount(), 3u);
}

TEST_F(LibraryWindowTest, TheCheckMarkOfAChosenEntryStandsAfterItsName) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Eins", {"a"}, {}, PromptType::user));
  open();
  FilterMenu& menu = *library().filterMenu();
  menu.rebuild();
  trigger(menu, "User");
  menu.rebuild();
  menu.resize(menu.sizeHint());
  const QImage image = menu.grab().toImage();
  const qreal scale = image.devicePixelRatio();
  // The columns in an entry's row, inside the menu's frame, whose pixels differ from the row's
  // background.
  const int frame = menu.style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, &menu) + 2;
  const auto inked = [&](const QString& text) {
    const QRect row = menu.actionGeometry(menuAction(menu, text)).adjusted(frame, 0, -frame, 0);
    const QColor background = image.pixelColor(QPoint(row.left(), row.top() + 1) * scale);
    std::pair<int, int> span{row.right(), row.left()};
    for (int x = row.left(); x < row.right(); ++x) {
      for (int y = row.top(); y < row.bottom(); ++y) {
        const QColor pixel = image.pixelColor(QPoint(x, y) * scale);
        if (std::abs(pixel.lightness() - background.lightness()) > 60) {
          span = {std::min(span.first, x), std::max(span.second, x)};
          break;
        }
      }
    }
    return span;
  };
  const auto [systemStart, systemEnd] = inked("System");
  const auto [userStart, userEnd] = inked("User");
  const int userTextWidth = menu.fontMetrics().horizontalAdvance(QStringLiteral("User"));

  EXPECT_NEAR(userStart, systemStart, 2) << "names start in one column; nothing stands before the chosen one";
  EXPECT_GT(userEnd, userStart + userTextWidth + 8) << "the check mark follows the name";
  EXPECT_LT(userEnd, menu.width()) << "and stays inside the menu";
  EXPECT_LT(systemEnd, systemStart + menu.fontMetrics().horizontalAdvance(QStringLiteral("System")) + 4)
      << "an entry not chosen shows its name alone";
}

TEST_F(LibraryWindowTest, ALongTagIsCutInTheMenuSoItStaysInsideTheWindow) {
  bed_.skipConsentSheet();
  const std::string longTag = "ein-sehr-langer-tag-" + std::string(300, 'x') + "-ende";
  bed_.store(makePrompt("Eins", {"a"}, {longTag, "kurz"}, PromptType::user));
  open();
  window_->resize(520, 700);
  bed_.settle();
  FilterMenu& menu = *library().filterMenu();
  menu.rebuild();
  const QStringList shown = entries(menu);
  ASSERT_EQ(shown.size(), 7) << shown.join(" | ").toStdString();
  const QString cut = shown.at(5);
  EXPECT_TRUE(cut.startsWith(QStringLiteral("ein-sehr-langer-tag-"))) << cut.toStdString();
  EXPECT_TRUE(cut.endsWith(QChar(0x2026))) << cut.toStdString();
  EXPECT_LE(menu.fontMetrics().horizontalAdvance(cut), FilterMenu::labelWidthFor(window_->width()));
  EXPECT_LT(menu.sizeHint().width(), window_->width()) << "the menu does not spill past the window";

  // The cut entry still chooses the whole tag, and its check mark stays inside the menu.
  trigger(menu, cut);
  EXPECT_EQ(bed_.viewModel()->filter().tags, TagSet{longTag});
  menu.rebuild();
  EXPECT_TRUE(menuAction(menu, cut)->isChecked());
  EXPECT_LT(menu.sizeHint().width(), window_->width());
}

TEST_F(LibraryWindowTest, RelativeTimesMoveOnWhileTheLibraryIsShown) {
  bed_.skipConsentSheet();
  const Prompt prompt = makePrompt("Frisch", {"Text"}, {}, PromptType::user, 0.7);
  bed_.store(prompt);
  open();
  const auto shownTime = [&] {
    PromptRow* card = library().grid()->cardFor(prompt.id);
    return card != nullptr ? card->findChild<ElidedLabel*>("relativeTime")->text() : QString();
  };
  EXPECT_EQ(shownTime(), QStringLiteral("vor 42 Sekunden"));
  const std::size_t fetches = bed_.repository().fetchedFilters().size();
  bed_.advance(CardGrid::kRelativeTimeRefresh);
  EXPECT_EQ(shownTime(), QStringLiteral("vor 52 Sekunden"));
  bed_.advance(60s);
  EXPECT_EQ(shownTime(), QStringLiteral("vor 1 Minute")) << "no reload needed";
  EXPECT_EQ(bed_.repository().fetchedFilters().size(), fetches) << "without a reload";
}

TEST_F(LibraryWindowTest, ASelectedTagStaysListedWhenNoListedPromptCarriesIt) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Eins", {"a"}, {"alpha"}, PromptType::system));
  bed_.store(makePrompt("Zwei", {"b"}, {"beta"}, PromptType::user));
  open();
  FilterMenu& menu = *library().filterMenu();
  menu.rebuild();
  trigger(menu, "alpha");
  menu.rebuild();
  trigger(menu, "User");
  ASSERT_EQ(library().grid()->promptCount(), 0u) << "no user prompt carries alpha";
  menu.rebuild();
  EXPECT_EQ(entries(menu), (QStringList{QString::fromUtf8("Filter zurücksetzen"), "[Art]", "Alle Typen",
                                        "System", "User", "[Tags]", "Alle Tags", "alpha"}));
  trigger(menu, "Alle Tags");
  EXPECT_EQ(library().grid()->promptCount(), 1u);
}

TEST_F(LibraryWindowTest, ACopyShowsTheToastUntilOnePointSixSecondsAfterTheLastCopy) {
  bed_.skipConsentSheet();
  const Prompt first = makePrompt("Erster", {"alt", "  neuester Text \n"});
  const Prompt second = makePrompt("<b>Zweiter</b> & Co", {"zwei"});
  bed_.store(first);
  bed_.store(second);
  open();
  bed_.sdk().clearCalls();

  clickCard(first);
  EXPECT_EQ(bed_.clipboardText(), QStringLiteral("neuester Text"));
  ToastBanner* toast = library().toast();
  EXPECT_TRUE(toast->isVisible());
  EXPECT_EQ(toast->text(), QStringLiteral("Prompt kopiert: Erster"));

  bed_.advance(1000ms);
  clickCard(second);
  EXPECT_EQ(toast->text(), QStringLiteral("Prompt kopiert: <b>Zweiter</b> & Co"));
  bed_.advance(1000ms);
  EXPECT_TRUE(toast->isVisible()) << "2 s after the first copy, 1 s after the second";
  bed_.advance(599ms);
  EXPECT_TRUE(toast->isVisible());
  bed_.advance(1ms);
  EXPECT_FALSE(toast->isVisible());
  EXPECT_EQ(bed_.sdk().events().size(), 2u);
  EXPECT_EQ(bed_.sdk().events().front().name, "prompt_copy");
}

TEST_F(LibraryWindowTest, ACopyWithoutTextFallsBackToTheTitleOrDoesNothing) {
  bed_.skipConsentSheet();
  const Prompt blank = makePrompt("Nur Titel", {"   "});
  const Prompt nothing = makePrompt("", {});
  bed_.store(blank);
  bed_.store(nothing);
  open();
  clickCard(blank);
  EXPECT_EQ(bed_.clipboardText(), QStringLiteral("Nur Titel"));
  bed_.advance(2000ms);
  QGuiApplication::clipboard()->clear();
  clickCard(nothing);
  EXPECT_EQ(bed_.clipboardText(), QString());
  EXPECT_FALSE(library().toast()->isVisible());
}

TEST_F(LibraryWindowTest, TheChatHandOffPutsTheTextOnTheClipboardThenOpensTheChatApp) {
  bed_.skipConsentSheet();
  const Prompt prompt = makePrompt("Chat", {"  Erkläre mir das.  "});
  const Prompt titleOnly = makePrompt("Ohne Text", {});
  bed_.store(prompt);
  bed_.store(titleOnly);
  open();
  QString clipboardWhenOpened;
  bed_.workspace().setOnOpen([&](const std::string&) { clipboardWhenOpened = bed_.clipboardText(); });
  bed_.sdk().clearCalls();

  std::unique_ptr<QMenu> menu(library().grid()->cardFor(prompt.id)->makeActionMenu(nullptr));
  menu->findChild<QAction*>("promptRowChatGPTButton")->trigger();
  EXPECT_EQ(bed_.workspace().openedURLs(), std::vector<std::string>{"chatgpt://"});
  EXPECT_EQ(clipboardWhenOpened, QString::fromUtf8("Erkläre mir das."));
  EXPECT_FALSE(library().toast()->isVisible());
  EXPECT_TRUE(bed_.sdk().events().empty());

  std::unique_ptr<QMenu> other(library().grid()->cardFor(titleOnly.id)->makeActionMenu(nullptr));
  other->findChild<QAction*>("promptRowChatGPTButton")->trigger();
  EXPECT_EQ(bed_.workspace().openedURLs().size(), 1u) << "no text, no hand-off: the title is never sent";
}

TEST_F(LibraryWindowTest, DeletingAsksFirstAndCancellingKeepsThePrompt) {
  bed_.skipConsentSheet();
  const Prompt doomed = makePrompt("Weg damit", {"x"});
  bed_.store(doomed);
  bed_.store(makePrompt("Bleibt", {"y"}));
  open();

  std::unique_ptr<QMenu> menu(library().grid()->cardFor(doomed.id)->makeActionMenu(nullptr));
  menu->findChild<QAction*>("promptRowDeleteButton")->trigger();
  bed_.settle();
  ASSERT_NE(find("confirmationSheet"), nullptr);
  EXPECT_TRUE(library().promptToDelete().has_value());
  click(find("confirmationCancelButton"));
  EXPECT_EQ(sheet(), nullptr);
  EXPECT_FALSE(library().promptToDelete().has_value());
  EXPECT_EQ(bed_.stored().size(), 2u);

  menu->findChild<QAction*>("promptRowDeleteButton")->trigger();
  bed_.settle();
  // Return presses nothing in the confirmation.
  QTest::keyClick(find("confirmationCancelButton"), Qt::Key_Return);
  bed_.settle();
  ASSERT_NE(sheet(), nullptr);
  click(find("confirmationDestructiveButton"));
  EXPECT_EQ(sheet(), nullptr);
  EXPECT_FALSE(library().promptToDelete().has_value());
  ASSERT_EQ(bed_.stored().size(), 1u);
  EXPECT_EQ(bed_.stored().front().title, "Bleibt");
  EXPECT_EQ(library().grid()->promptCount(), 1u);
}

TEST_F(LibraryWindowTest, HoldingACardOpensTheEditorWithoutCopying) {
  bed_.skipConsentSheet();
  const Prompt prompt = makePrompt("Halten", {"Text"});
  bed_.store(prompt);
  open();
  PromptRow* card = library().grid()->cardFor(prompt.id);
  QTest::mousePress(card, Qt::LeftButton, {}, QPoint(20, 16));
  bed_.advance(349ms);
  EXPECT_EQ(window_->navigation().depth(), 1);
  bed_.advance(1ms);
  EXPECT_EQ(window_->navigation().depth(), 2);
  QTest::mouseRelease(card, Qt::LeftButton, {}, QPoint(20, 16));
  bed_.settle();
  EXPECT_EQ(bed_.clipboardText(), QString());

  // Moving away before the time is up is neither a press nor a click.
  window_->navigation().pop();
  bed_.settle();
  card = library().grid()->cardFor(prompt.id);
  QTest::mousePress(card, Qt::LeftButton, {}, QPoint(20, 16));
  QTest::mouseMove(card, QPoint(40, 16));
  bed_.advance(400ms);
  QTest::mouseRelease(card, Qt::LeftButton, {}, QPoint(40, 16));
  bed_.settle();
  EXPECT_EQ(window_->navigation().depth(), 1);
  EXPECT_EQ(bed_.clipboardText(), QString());
}

TEST_F(LibraryWindowTest, CtrlROrF5SyncsAndReloadsWithTheIndicator) {
  bed_.skipConsentSheet();
  open();
  const std::size_t fetchesBefore = bed_.repository().fetchedFilters().size();
  QTest::keyClick(window_.get(), Qt::Key_F5);
  bed_.settle();
  QTest::keyClick(window_.get(), Qt::Key_R, Qt::ControlModifier);
  bed_.settle();
  // Each sync reloads the list and the suggestions.
  EXPECT_EQ(bed_.repository().fetchedFilters().size(), fetchesBefore + 4);

  // Only the library itself syncs: not from the editor above it, not under a sheet.
  const Prompt prompt = makePrompt("Eins", {"a"});
  library().editPrompt(prompt);
  bed_.settle();
  QTest::keyClick(window_.get(), Qt::Key_F5);
  window_->navigation().pop();
  bed_.settle();
  library().showCreateSheet();
  bed_.settle();
  QTest::keyClick(sheet(), Qt::Key_R, Qt::ControlModifier);
  bed_.settle();
  EXPECT_EQ(bed_.repository().fetchedFilters().size(), fetchesBefore + 4);
  EXPECT_EQ(find("syncNowShortcut"), nullptr) << "a shortcut is no widget";
  EXPECT_NE(window_->findChild<QObject*>("syncNowShortcut"), nullptr);
}

TEST_F(LibraryWindowTest, TheLibraryTellsHowToSyncAndCtrlQQuits) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Eins", {"a"}));
  open();
  EXPECT_EQ(find("promptGrid")->toolTip(), QString::fromUtf8("Jetzt synchronisieren: F5 oder Strg+R"));
  ASSERT_TRUE(window_->isVisible());
  QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
  bed_.settle();
  EXPECT_FALSE(window_->isVisible()) << "closing the only window ends the application";
}

TEST_F(LibraryWindowTest, ClosingWithATypedButUnsavedFormAsksAndTheFormGivesWay) {
  bed_.skipConsentSheet();
  open();
  click(find("addPromptButton"));
  QTest::keyClicks(find("newPromptTitleField"), QStringLiteral("Entwurf"));
  QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
  bed_.settle();
  ASSERT_TRUE(window_->isVisible());
  auto* question = qobject_cast<ConfirmationSheet*>(sheet());
  ASSERT_NE(question, nullptr) << "the create sheet gave way to the question";
  click(question->cancelButton());
  click(find("addPromptButton"));
  EXPECT_EQ(find<QLineEdit>("newPromptTitleField")->text(), QStringLiteral("Entwurf")) << "the form is kept";

  QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
  bed_.settle();
  click(qobject_cast<ConfirmationSheet*>(sheet())->destructiveButton());
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(LibraryWindowTest, TheSyncBannerAndTheToastTogether) {
  bed_.skipConsentSheet();
  const Prompt prompt = makePrompt("Sync-Test", {"Text"}, {"sync"});
  bed_.store(prompt);
  bed_.store(makePrompt("Noch einer", {"mehr Text"}));
  open();
  bed_.viewModel()->showSyncBanner("Sync-Fehler: Kein iCloud Account", true);
  bed_.settle();
  auto* banner = find<SyncBannerView>("syncBanner");
  ASSERT_TRUE(banner->isVisible());
  EXPECT_EQ(banner->message(), QStringLiteral("Sync-Fehler: Kein iCloud Account"));
  clickCard(prompt);
  testing::saveScreenshot(*window_);

  bed_.advance(3000ms);
  EXPECT_FALSE(banner->isVisible());
}

TEST_F(LibraryWindowTest, TheDamagedLibraryNoticeStaysAboveTheSyncBannerUntilItsCloseButtonIsClicked) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Wiederhergestellt", {"Text"}));
  open();
  bed_.viewModel()->restoreDamagedStore("/daten/Velloran.sqlite.damaged-1");
  bed_.viewModel()->showSyncBanner("Sync-Fehler: Kein iCloud Account", true);
  bed_.settle();
  auto* notice = find<NoticeStrip>("damagedStoreNotice");
  ASSERT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->message().toStdString(), *bed_.viewModel()->damagedStoreNotice());
  EXPECT_TRUE(notice->isError());
  EXPECT_LT(notice->geometry().bottom(), find("syncBanner")->geometry().top());
  testing::saveScreenshot(*window_);

  bed_.advance(3000ms);
  EXPECT_FALSE(find("syncBanner")->isVisible());
  ASSERT_TRUE(notice->isVisible());
  QAbstractButton* close = notice->findChild<QAbstractButton*>("closeNoticeButton");
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->accessibleName(), QString::fromUtf8("Hinweis schließen"));
  click(close);
  EXPECT_FALSE(notice->isVisible());
  EXPECT_FALSE(bed_.viewModel()->damagedStoreNotice().has_value());
  EXPECT_EQ(library().grid()->promptCount(), 1u);
}

TEST_F(LibraryWindowTest, TheHintStaysAwayOnceDismissed) {
  bed_.skipConsentSheet();
  bed_.store(makePrompt("Eins", {"a"}));
  open();
  ASSERT_TRUE(find("usageHint")->isVisible());
  click(find("hintCloseButton"));
  EXPECT_FALSE(find("usageHint")->isVisible());
  EXPECT_TRUE(bed_.defaults().boolForKey("promptListHintHidden"));

  window_ = std::make_unique<LibraryWindow>(bed_.context());
  window_->show();
  bed_.settle();
  EXPECT_FALSE(find("usageHint")->isVisible());
}

TEST_F(LibraryWindowTest, TheConsentSheetShowsOnceAndEveryAppearanceAppliesTheConsent) {
  const Prompt prompt = makePrompt("Eins", {"a"});
  bed_.store(prompt);
  open();
  EXPECT_EQ(bed_.presentedShellSheets(), std::vector<std::string>{"consentSheet"});
  ASSERT_NE(find("consentSheet"), nullptr);
  bed_.lastShellSheetDismiss()();
  bed_.settle();
  EXPECT_EQ(sheet(), nullptr);
  EXPECT_TRUE(bed_.defaults().boolForKey("analyticsPromptShown"));

  library().editPrompt(prompt);
  bed_.settle();
  window_->navigation().pop();
  bed_.settle();
  EXPECT_EQ(bed_.presentedShellSheets().size(), 1u) << "not shown again on the second appearance";
  std::size_t appOpens = 0;
  for (const auto& event : bed_.sdk().events()) appOpens += event.name == "app_open" ? 1 : 0;
  EXPECT_EQ(appOpens, 2u);
}

TEST_F(LibraryWindowTest, AStoredConsentChangeIsLeftToTheConsentOwner) {
  // Whoever stored the change (the settings switch, the consent sheet) already applied it through
  // AnalyticsConsent; the page applying it again made two calls per toggle.
  bed_.skipConsentSheet();
  open();
  bed_.sdk().clearCalls();
  static_cast<void>(bed_.defaults().setObject("analyticsEnabled", platform::Value(false)));
  bed_.settle();
  EXPECT_TRUE(bed_.sdk().calls().empty());
}

TEST_F(LibraryWindowTest, TheSettingsButtonPresentsTheSettingsSheet) {
  bed_.skipConsentSheet();
  open();
  click(find("settingsButton"));
  EXPECT_NE(find("settingsSheet"), nullptr);
  EXPECT_FALSE(window_->navigation().isEnabled()) << "the window beneath waits for the sheet";
  bed_.lastShellSheetDismiss()();
  bed_.settle();
  EXPECT_EQ(sheet(), nullptr);
  EXPECT_TRUE(window_->navigation().isEnabled());
}

TEST_F(LibraryWindowTest, AFilterChosenWhileScrolledStartsAtTheTop) {
  bed_.skipConsentSheet();
  for (int index = 0; index < 120; ++index) {
    bed_.store(makePrompt("Prompt " + std::to_string(index), {"Text"}, {index % 2 ? "gerade" : "ungerade"},
                          PromptType::system, index));
  }
  open();
  CardGrid& grid = *library().grid();
  grid.scrollToItem(100);
  bed_.settle();
  ASSERT_GT(grid.verticalScrollBar()->value(), 0);

  FilterMenu& menu = *library().filterMenu();
  menu.rebuild();
  trigger(menu, "gerade");
  EXPECT_EQ(grid.promptCount(), 60u);
  EXPECT_EQ(grid.verticalScrollBar()->value(), 0);

  grid.scrollToItem(50);
  bed_.settle();
  QTest::keyClicks(library().searchField(), QStringLiteral("Prompt 1"));
  bed_.settle();
  EXPECT_EQ(grid.verticalScrollBar()->value(), 0) << "a search is a filter too";
}

TEST_F(LibraryWindowTest, AClickedButtonKeepsNoFocusRing) {
  bed_.skipConsentSheet();
  open();
  QWidget* settings = find("settingsButton");
  library().searchField()->setFocus();
  click(settings);
  EXPECT_FALSE(settings->hasFocus()) << "a click does not take the focus";
  bed_.lastShellSheetDismiss()();
  bed_.settle();
  EXPECT_FALSE(settings->hasFocus());
  EXPECT_TRUE(library().searchField()->hasFocus()) << "the focus returns where it was";
  EXPECT_EQ(settings->focusPolicy(), Qt::TabFocus) << "the keyboard still reaches it";

  library().showCreateSheet();
  bed_.settle();
  auto* cancel = sheet()->findChild<QPushButton*>();
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->focusPolicy(), Qt::TabFocus);
}

TEST_F(LibraryWindowTest, TheGridMakesCardsOnlyNearTheVisiblePartAndKeepsThemByPrompt) {
  bed_.skipConsentSheet();
  std::vector<Prompt> prompts;
  for (int index = 0; index < 300; ++index) {
    prompts.push_back(makePrompt("Prompt " + std::to_string(index), {"Text " + std::to_string(index)},
                                 {index % 2 ? "gerade" : "ungerade"}, PromptType::system, index));
    bed_.store(prompts.back());
  }
  open();
  CardGrid& grid = *library().grid();
  ASSERT_EQ(grid.promptCount(), 300u);
  EXPECT_LT(grid.cardWidgetCount(), 40);
  const Prompt& top = prompts.front();  // the newest
  PromptRow* topCard = grid.cardFor(top.id);
  ASSERT_NE(topCard, nullptr);

  grid.scrollToItem(299);
  bed_.settle();
  EXPECT_NE(grid.cardFor(prompts.back().id), nullptr);
  EXPECT_LT(grid.cardWidgetCount(), 100);

  // Typing a search that keeps the top prompt shows it in the same card.
  grid.scrollToItem(0);
  bed_.settle();
  topCard = grid.cardFor(top.id);
  QTest::keyClicks(library().searchField(), QStringLiteral("Prompt 0"));
  bed_.settle();
  EXPECT_EQ(grid.cardFor(top.id), topCard);
  library().searchField()->clear();
  bed_.settle();
  EXPECT_EQ(grid.cardFor(top.id), topCard);
}

TEST_F(LibraryWindowTest, UserTextIsShownAsWrittenNeverAsMarkup) {
  bed_.skipConsentSheet();
  const Prompt prompt = makePrompt("<img src=file:///etc/passwd> & <b>fett</b>", {"<i>Text</i>"}, {"R&D"});
  bed_.store(prompt);
  open();
  PromptRow* card = library().grid()->cardFor(prompt.id);
  ASSERT_NE(card, nullptr);
  QStringList texts;
  for (ElidedLabel* label : card->findChildren<ElidedLabel*>()) texts.append(label->text());
  EXPECT_TRUE(texts.contains(QStringLiteral("<img src=file:///etc/passwd> & <b>fett</b>")));
  EXPECT_TRUE(texts.contains(QStringLiteral("<i>Text</i>")));
  EXPECT_EQ(card->findChildren<TagChip*>().front()->label(), QStringLiteral("R&D"));
}

}  // namespace
}  // namespace velloran
