// The editor page pushed from the library window: automatic saves of title, tags and type, new
// versions by "Speichern", older versions and the delete.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "Velloran/ui/Chips.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/SegmentedPicker.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/ui/testing/WidgetChecks.h"
#include "Velloran/views/Banners.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/ConfirmationSheet.h"
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

class PromptEditorTest : public ::testing::Test {
 protected:
  // Opens the library with `prompt` in it, then the editor for it.
  void openEditor(const Prompt& prompt) {
    bed_.skipConsentSheet();
    bed_.store(prompt);
    window_ = std::make_unique<LibraryWindow>(bed_.context());
    window_->resize(900, 1000);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    bed_.settle();
    window_->library().editPrompt(prompt);
    bed_.settle();
    editor_ = qobject_cast<PromptDetailView*>(window_->navigation().topPage());
    ASSERT_NE(editor_, nullptr);
    saves_ = bed_.repository().saveCount();
  }

  template <class T = QWidget>
  T* find(const char* objectName) const {
    return editor_->findChild<T*>(QString::fromUtf8(objectName));
  }

  Prompt storedPrompt() {
    const std::vector<Prompt> stored = bed_.stored();
    EXPECT_EQ(stored.size(), 1u);
    return stored.empty() ? Prompt{} : stored.front();
  }

  int savesSinceOpening() { return bed_.repository().saveCount() - saves_; }

  void click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    bed_.settle();
  }

  void typeTitle(const QString& text) {
    QLineEdit* field = find<QLineEdit>("editPromptTitleField");
    field->selectAll();
    QTest::keyClicks(field, text);
    bed_.settle();
  }

  // Ctrl+Q, as the user quits.
  void quit() {
    QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
    bed_.settle();
  }

  void setText(const QString& text) {
    find<QPlainTextEdit>("editPromptContentEditor")->setPlainText(text);
    bed_.settle();
  }

  QList<QLabel*> labels() const { return editor_->findChildren<QLabel*>(); }
  bool showsLabel(const QString& text) const {
    for (QLabel* label : labels()) {
      if (label->isVisibleTo(editor_) && label->text() == text) return true;
    }
    return false;
  }

  testing::LibraryTestBed bed_;
  std::unique_ptr<LibraryWindow> window_;
  PromptDetailView* editor_ = nullptr;
  int saves_ = 0;
};

TEST_F(PromptEditorTest, ShowsTheStoredPromptWithItsCurrentAndOlderVersions) {
  Prompt prompt =
      makePrompt("Code-Review", {"Erste Fassung", "Zweite Fassung", "Dritte Fassung\nmit zwei Zeilen"},
                 {"review", "code"}, PromptType::system);
  prompt.versions[2].createdAt = platform::ManualClock::kDefaultStart;
  openEditor(prompt);

  EXPECT_EQ(find<QLineEdit>("editPromptTitleField")->text(), QStringLiteral("Code-Review"));
  // The field scrolls to its cursor: at the end, a long title would show its end cut at the front.
  EXPECT_EQ(find<QLineEdit>("editPromptTitleField")->cursorPosition(), 0);
  EXPECT_EQ(find<QPlainTextEdit>("editPromptContentEditor")->toPlainText(),
            QStringLiteral("Dritte Fassung\nmit zwei Zeilen"));
  EXPECT_EQ(editor_->findChild<TagInputView*>()->tags(), (Texts{"review", "code"}));
  QStringList chips;
  for (MetaChip* chip : editor_->findChildren<MetaChip*>()) chips.append(chip->label());
  EXPECT_EQ(chips, (QStringList{"v3", "14.11.2023, 23:13"}));
  EXPECT_FALSE(find<QPushButton>("saveEditedPromptButton")->isEnabled());
  EXPECT_TRUE(find<QPushButton>("deletePromptButton")->isEnabled());

  QAbstractButton* fold = find<QAbstractButton>("olderVersionsToggle");
  ASSERT_NE(fold, nullptr);
  EXPECT_EQ(fold->accessibleName(), QString::fromUtf8("2 ältere Versionen"));
  EXPECT_TRUE(editor_->findChildren<QWidget*>("olderVersionRow").isEmpty());
  click(fold);
  QList<QWidget*> rows;
  for (QWidget* row : editor_->findChildren<QWidget*>("olderVersionRow")) {
    if (row->isVisibleTo(editor_)) rows.append(row);
  }
  ASSERT_EQ(rows.size(), 2);
  EXPECT_LT(rows[0]->y(), rows[1]->y());
  EXPECT_EQ(rows[0]->findChild<ElidedLabel*>()->text(), QStringLiteral("Zweite Fassung")) << "newest first";
  EXPECT_EQ(rows[1]->findChild<ElidedLabel*>()->text(), QStringLiteral("Erste Fassung"));
  testing::saveScreenshot(*window_);
  EXPECT_EQ(savesSinceOpening(), 0) << "opening and looking stores nothing";
  bed_.advance(1000ms);
  EXPECT_EQ(savesSinceOpening(), 0);
}

TEST_F(PromptEditorTest, TheOlderVersionsCountSaysOneOrMany) {
  EXPECT_EQ(PromptDetailView::olderVersionsCountText(1), QString::fromUtf8("1 ältere Version"));
  EXPECT_EQ(PromptDetailView::olderVersionsCountText(2), QString::fromUtf8("2 ältere Versionen"));
  EXPECT_EQ(PromptDetailView::olderVersionsCountText(1200), QString::fromUtf8("1.200 ältere Versionen"));
}

TEST_F(PromptEditorTest, APromptWithOneVersionHasNoOlderVersions) {
  openEditor(makePrompt("Eins", {"nur eine"}));
  EXPECT_TRUE(showsLabel(QString::fromUtf8("Noch keine früheren Versionen.")));
  EXPECT_EQ(find("olderVersionsToggle"), nullptr);
}

TEST_F(PromptEditorTest, AFieldChangeIsSavedAfterAQuietMomentWithoutAVersion) {
  openEditor(makePrompt("Alt", {"Text"}, {"a"}));
  typeTitle("Neu");
  bed_.advance(349ms);
  EXPECT_EQ(savesSinceOpening(), 0);
  bed_.advance(1ms);
  EXPECT_EQ(savesSinceOpening(), 1) << "typing letter by letter stores once, after the last letter";
  const Prompt stored = storedPrompt();
  EXPECT_EQ(stored.title, "Neu");
  EXPECT_EQ(stored.versions.size(), 1u);
  // The library heard of it and shows the new title.
  ASSERT_EQ(bed_.viewModel()->prompts().size(), 1u);
  EXPECT_EQ(bed_.viewModel()->prompts().front()->title, "Neu");
  EXPECT_EQ(editor_->findChild<ElidedLabel*>("promptTitle")->text(), QStringLiteral("Neu"));
}

TEST_F(PromptEditorTest, TitleAndTagsChangedTogetherAreOneSave) {
  openEditor(makePrompt("Titel", {"Text"}, {"a"}));
  typeTitle("Titel 2");
  bed_.advance(200ms);
  TagInputView* tags = editor_->findChild<TagInputView*>();
  QTest::keyClicks(tags->field(), QStringLiteral("neu "));
  bed_.advance(349ms);
  EXPECT_EQ(savesSinceOpening(), 0);
  bed_.advance(1ms);
  EXPECT_EQ(savesSinceOpening(), 1);
  EXPECT_EQ(storedPrompt().tags, (Texts{"a", "neu"}));
  EXPECT_EQ(storedPrompt().title, "Titel 2");
}

TEST_F(PromptEditorTest, ReorderedOrPaddedTagsAndABlankTitleAreNotSaved) {
  openEditor(makePrompt("Titel", {"Text"}, {"a", "b"}));
  editor_->controller().setEditTags({"b", " a ", "b"});
  bed_.advance(400ms);
  EXPECT_EQ(savesSinceOpening(), 0);
  typeTitle("   ");
  bed_.advance(400ms);
  EXPECT_EQ(savesSinceOpening(), 0);
  EXPECT_FALSE(find<QPushButton>("saveEditedPromptButton")->isEnabled());
  EXPECT_EQ(editor_->findChild<ElidedLabel*>("promptTitle")->text(), QStringLiteral("Titel"));
}

TEST_F(PromptEditorTest, OpeningACustomRolePromptStoresItAsUserAfterTheWait) {
  openEditor(makePrompt("Rolle", {"Text"}, {}, PromptType::customRole));
  EXPECT_EQ(editor_->findChild<SegmentedPicker*>()->currentIndex(), 1) << "shown as User";
  bed_.advance(350ms);
  EXPECT_EQ(storedPrompt().type, PromptType::user);
  EXPECT_FALSE(storedPrompt().isSystem);
  EXPECT_EQ(bed_.viewModel()->prompts().front()->type, PromptType::user);
}

TEST_F(PromptEditorTest, ARealTextChangeMakesVersionTwoAndBlanksAtTheEndsAreNoChange) {
  openEditor(makePrompt("Titel", {"Der Text"}));
  auto* save = find<QPushButton>("saveEditedPromptButton");
  setText(QStringLiteral("  Der Text \n"));
  EXPECT_FALSE(save->isEnabled());
  setText(QStringLiteral("Der neue Text "));
  EXPECT_TRUE(save->isEnabled());

  click(save);
  const Prompt stored = storedPrompt();
  ASSERT_EQ(stored.versions.size(), 2u);
  EXPECT_EQ(stored.versions[1].content, "Der neue Text");
  EXPECT_EQ(stored.versions[1].versionNumber, 2);
  EXPECT_FALSE(save->isEnabled()) << "what is shown is now what is stored";
  QStringList chips;
  for (MetaChip* chip : editor_->findChildren<MetaChip*>()) chips.append(chip->label());
  EXPECT_EQ(chips.front(), QStringLiteral("v2"));
  EXPECT_EQ(find<QAbstractButton>("olderVersionsToggle")->accessibleName(),
            QString::fromUtf8("1 ältere Version"));
  EXPECT_EQ(bed_.viewModel()->prompts().front()->versions.size(), 2u);
}

TEST_F(PromptEditorTest, SpeichernKeepsThePageWhereItWasWithTheLargeTitleInView) {
  openEditor(makePrompt("Titel", {"Der Text"}));
  window_->resize(720, 640);
  bed_.settle();
  auto* content = find<QPlainTextEdit>("editPromptContentEditor");
  click(content);
  QTest::keyClicks(content, QStringLiteral(" und mehr"));
  bed_.settle();
  auto* scroll = editor_->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  ASSERT_GT(scroll->verticalScrollBar()->maximum(), 0) << "the page must be taller than the window";
  const int before = scroll->verticalScrollBar()->value();

  click(find<QPushButton>("saveEditedPromptButton"));
  ASSERT_EQ(storedPrompt().versions.size(), 2u);
  EXPECT_EQ(scroll->verticalScrollBar()->value(), before);
  QWidget* title = find("promptTitle");
  const QRect shown(title->mapTo(scroll->viewport(), QPoint(0, 0)), title->size());
  EXPECT_TRUE(scroll->viewport()->rect().contains(shown)) << "the large title stays in view";
}

TEST_F(PromptEditorTest, APromptWithoutVersionsGetsVersionOneFromItsFirstText) {
  openEditor(makePrompt("Leer", {}));
  EXPECT_FALSE(editor_->findChildren<MetaChip*>().front()->isVisibleTo(editor_)) << "no version, no chips";
  auto* save = find<QPushButton>("saveEditedPromptButton");
  EXPECT_FALSE(save->isEnabled());
  setText(QStringLiteral("Erster Text"));
  click(save);
  ASSERT_EQ(storedPrompt().versions.size(), 1u);
  EXPECT_EQ(storedPrompt().versions[0].versionNumber, 1);
}

TEST_F(PromptEditorTest, AnAutomaticSaveNeverPutsAnOlderTextBackAsANewVersion) {
  openEditor(makePrompt("Titel", {"alt"}));
  // "Speichern" with a new text, and the title changed again while that save is on its way.
  setText(QStringLiteral("neu"));
  QTest::mouseClick(find<QPushButton>("saveEditedPromptButton"), Qt::LeftButton);
  find<QLineEdit>("editPromptTitleField")->setText(QStringLiteral("Titel neu"));
  bed_.settle();
  bed_.advance(350ms);

  const Prompt stored = storedPrompt();
  EXPECT_EQ(stored.title, "Titel neu");
  ASSERT_EQ(stored.versions.size(), 2u);
  EXPECT_EQ(stored.versions.back().content, "neu");
}

TEST_F(PromptEditorTest, SpeichernIsDisabledWhileItsSaveRunsSoADoublePressMakesOneVersion) {
  openEditor(makePrompt("Titel", {"alt"}));
  setText(QStringLiteral("neu"));
  auto* save = find<QPushButton>("saveEditedPromptButton");
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_FALSE(save->isEnabled());
  QTest::mouseClick(save, Qt::LeftButton);
  bed_.settle();
  EXPECT_EQ(storedPrompt().versions.size(), 2u);
}

TEST_F(PromptEditorTest, ClickingAnOlderVersionCopiesItsStoredText) {
  openEditor(makePrompt("Titel", {"  erste Fassung\n\n  mit Leerraum  ", "zweite"}));
  click(find("olderVersionsToggle"));
  QWidget* row = editor_->findChild<QWidget*>("olderVersionRow");
  click(row);
  EXPECT_EQ(bed_.clipboardText(), QStringLiteral("  erste Fassung\n\n  mit Leerraum  "));
}

TEST_F(PromptEditorTest, DeletingAfterConfirmationRefreshesTheLibraryThenCloses) {
  openEditor(makePrompt("Weg", {"Text"}));
  click(find("deletePromptButton"));
  QPushButton* cancel = window_->findChild<QPushButton*>("confirmationCancelButton");
  click(cancel);
  EXPECT_EQ(bed_.stored().size(), 1u);
  EXPECT_EQ(window_->navigation().topPage(), editor_);

  click(find("deletePromptButton"));
  click(window_->findChild<QPushButton*>("confirmationDestructiveButton"));
  EXPECT_TRUE(bed_.stored().empty());
  EXPECT_TRUE(bed_.viewModel()->prompts().empty());
  EXPECT_EQ(window_->navigation().depth(), 1);
}

TEST_F(PromptEditorTest, ADeleteCancelsAPendingAutomaticSaveSoThePromptStaysDeleted) {
  openEditor(makePrompt("Weg", {"Text"}));
  typeTitle("Noch schnell umbenannt");
  click(find("deletePromptButton"));
  click(window_->findChild<QPushButton*>("confirmationDestructiveButton"));
  bed_.advance(1000ms);
  EXPECT_TRUE(bed_.stored().empty());
}

TEST_F(PromptEditorTest, AFailedDeleteKeepsTheEditorOpen) {
  openEditor(makePrompt("Bleibt", {"Text"}));
  bed_.repository().failNext(testing::ControllableRepository::Operation::Delete,
                             platform::Error{"Test", 2, "gesperrt", {}});
  click(find("deletePromptButton"));
  click(window_->findChild<QPushButton*>("confirmationDestructiveButton"));
  EXPECT_EQ(window_->navigation().topPage(), editor_);
  EXPECT_NE(bed_.console().find("Prompt konnte nicht gelöscht werden: gesperrt"), std::string::npos);
  EXPECT_EQ(bed_.stored().size(), 1u);
}

TEST_F(PromptEditorTest, AnEditMadeJustBeforeLeavingIsStillSaved) {
  openEditor(makePrompt("Alt", {"Text"}));
  typeTitle("Neu");
  window_->navigation().pop();
  bed_.settle();
  ASSERT_EQ(window_->navigation().depth(), 1);
  bed_.advance(350ms);
  EXPECT_EQ(storedPrompt().title, "Neu");
  EXPECT_EQ(bed_.viewModel()->prompts().front()->title, "Neu") << "the library heard of it";
}

TEST_F(PromptEditorTest, AnEditStillWaitingWhenTheWindowClosesIsSavedAtOnceAndOnlyOnce) {
  openEditor(makePrompt("Alt", {"Text"}));
  typeTitle("Neu");
  window_->navigation().pop();
  bed_.settle();
  window_->close();  // Ctrl+Q: the application ends with the window, before the wait would
  bed_.settle();
  EXPECT_EQ(storedPrompt().title, "Neu");
  bed_.advance(350ms);
  EXPECT_EQ(savesSinceOpening(), 1);
}

// --- A store that cannot write -------------------------------------------------------------------

const platform::Error kDiskFull{"SQLiteErrorDomain", 13, "database or disk is full", {}};

TEST_F(PromptEditorTest, AFailedSpeichernKeepsTheTextSaysWhyAndTheTextOutlivesTheEditor) {
  openEditor(makePrompt("Titel", {"Erste Fassung"}));
  auto* failure = find<NoticeStrip>("saveFailureBanner");
  ASSERT_NE(failure, nullptr);
  EXPECT_FALSE(failure->isVisible());
  bed_.repository().failNext(testing::ControllableRepository::Operation::Save, kDiskFull);
  setText(QStringLiteral("Zweite Fassung"));
  click(find("saveEditedPromptButton"));

  EXPECT_TRUE(failure->isVisible());
  EXPECT_EQ(failure->message(),
            QString::fromUtf8("Änderung konnte nicht gespeichert werden: Der Datenträger ist voll."));
  EXPECT_EQ(find<QPlainTextEdit>("editPromptContentEditor")->toPlainText(), QStringLiteral("Zweite Fassung"));
  EXPECT_TRUE(find<QPushButton>("saveEditedPromptButton")->isEnabled()) << "the user can try again";
  EXPECT_EQ(editor_->findChildren<MetaChip*>().front()->label(), QStringLiteral("v1"));
  EXPECT_EQ(storedPrompt().versions.size(), 1u);

  // Leaving and coming back: the typed text is still there, ready to be saved.
  window_->navigation().pop();
  bed_.settle();
  window_->library().editPrompt(*bed_.viewModel()->prompts().front());
  bed_.settle();
  editor_ = qobject_cast<PromptDetailView*>(window_->navigation().topPage());
  ASSERT_NE(editor_, nullptr);
  EXPECT_EQ(find<QPlainTextEdit>("editPromptContentEditor")->toPlainText(), QStringLiteral("Zweite Fassung"));
  auto* save = find<QPushButton>("saveEditedPromptButton");
  EXPECT_TRUE(save->isEnabled());
  click(save);
  ASSERT_EQ(storedPrompt().versions.size(), 2u);
  EXPECT_EQ(storedPrompt().versions.back().content, "Zweite Fassung");
  EXPECT_FALSE(find<NoticeStrip>("saveFailureBanner")->isVisible());

  // Once stored, nothing is kept any more: the next editor shows the stored prompt as it is.
  window_->navigation().pop();
  bed_.settle();
  window_->library().editPrompt(*bed_.viewModel()->prompts().front());
  bed_.settle();
  editor_ = qobject_cast<PromptDetailView*>(window_->navigation().topPage());
  EXPECT_FALSE(find<QPushButton>("saveEditedPromptButton")->isEnabled());
  EXPECT_EQ(find<QPlainTextEdit>("editPromptContentEditor")->toPlainText(), QStringLiteral("Zweite Fassung"));
}

TEST_F(PromptEditorTest, AFailedAutomaticSaveSaysWhyAndTheTitleComesBackWithTheNextEditor) {
  openEditor(makePrompt("Alt", {"Text"}));
  bed_.repository().failNext(testing::ControllableRepository::Operation::Save, kDiskFull);
  typeTitle("Neu");
  bed_.advance(350ms);
  EXPECT_EQ(storedPrompt().title, "Alt");
  EXPECT_TRUE(find<NoticeStrip>("saveFailureBanner")->isVisible());
  EXPECT_EQ(find<QLineEdit>("editPromptTitleField")->text(), QStringLiteral("Neu"));

  window_->navigation().pop();
  bed_.settle();
  bed_.advance(1s);
  EXPECT_EQ(storedPrompt().title, "Alt");
  quit();
  ASSERT_TRUE(window_->isVisible()) << "the kept edit would be lost";
  click(window_->findChild<ConfirmationSheet*>()->cancelButton());
  window_->library().editPrompt(*bed_.viewModel()->prompts().front());
  bed_.settle();
  editor_ = qobject_cast<PromptDetailView*>(window_->navigation().topPage());
  ASSERT_NE(editor_, nullptr);
  EXPECT_EQ(find<QLineEdit>("editPromptTitleField")->text(), QStringLiteral("Neu"));
  bed_.advance(350ms);
  EXPECT_EQ(storedPrompt().title, "Neu") << "the next editor tries again";
  EXPECT_EQ(storedPrompt().versions.size(), 1u);
}

TEST_F(PromptEditorTest, ClosingTheWindowWithAnUnsavedTextAsksFirst) {
  openEditor(makePrompt("Titel", {"Erste Fassung"}));
  setText(QStringLiteral("Noch nicht gespeichert"));
  quit();
  ASSERT_TRUE(window_->isVisible()) << "the text would be lost";
  auto* question = window_->findChild<ConfirmationSheet*>();
  ASSERT_NE(question, nullptr);
  EXPECT_TRUE(testing::visibleTexts(*question).contains(
      QString::fromUtf8("Nicht gespeicherte Eingaben verwerfen und beenden?")));
  quit();  // asked again while the question is up: still one question
  EXPECT_EQ(window_->findChildren<ConfirmationSheet*>().size(), 1);

  click(question->cancelButton());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(find<QPlainTextEdit>("editPromptContentEditor")->toPlainText(),
            QStringLiteral("Noch nicht gespeichert"));

  quit();
  click(window_->findChild<ConfirmationSheet*>()->destructiveButton());
  EXPECT_FALSE(window_->isVisible()) << "Verwerfen closes the window";
  EXPECT_EQ(storedPrompt().versions.size(), 1u);
}

TEST_F(PromptEditorTest, AQuitTheSystemAsksForIsNeverHeldUp) {
  openEditor(makePrompt("Titel", {"Erste Fassung"}));
  setText(QStringLiteral("Noch nicht gespeichert"));
  window_->close();  // as a stop signal's quit closes the windows
  bed_.settle();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->findChild<ConfirmationSheet*>(), nullptr);
}

TEST_F(PromptEditorTest, ClosingTheWindowAfterEverythingIsStoredDoesNotAsk) {
  openEditor(makePrompt("Titel", {"Erste Fassung"}));
  setText(QStringLiteral("Zweite Fassung"));
  click(find("saveEditedPromptButton"));
  typeTitle("Neuer Titel");  // still waiting for its automatic save, which the close runs at once
  quit();
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(storedPrompt().title, "Neuer Titel");
}

TEST_F(PromptEditorTest, TheBackButtonReturnsToTheLibrary) {
  openEditor(makePrompt("Titel", {"Text"}));
  QAbstractButton* back = window_->navigation().backButton();
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->text(), QStringLiteral("Prompts"));
  click(back);
  EXPECT_EQ(window_->navigation().depth(), 1);
  EXPECT_TRUE(window_->library().grid()->isVisible());
}

}  // namespace
}  // namespace velloran
