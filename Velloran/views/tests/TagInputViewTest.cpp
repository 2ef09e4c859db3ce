// The tag input as a widget: typing, Return, chips and suggestions, driven by keys and clicks.

#include <gtest/gtest.h>

#include <algorithm>

#include <QCoreApplication>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "Velloran/ui/Chips.h"
#include "Velloran/ui/DropShadow.h"
#include "Velloran/ui/ShadowRenderer.h"
#include "Velloran/ui/WindowGradient.h"
#include "Velloran/ui/testing/Screenshot.h"
#include "Velloran/ui/testing/WidgetChecks.h"
#include "Velloran/views/TagInputView.h"

namespace velloran {
namespace {

using Tags = std::vector<std::string>;

QStringList labelsOf(const QList<EditableTagChip*>& chips) {
  QStringList labels;
  for (const EditableTagChip* chip : chips) labels.append(chip->label());
  return labels;
}

QStringList labelsOf(const QList<TagSuggestionButton*>& buttons) {
  QStringList labels;
  for (const TagSuggestionButton* button : buttons) labels.append(button->label());
  return labels;
}

class TagInputViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(420, 220);
    auto* column = new QVBoxLayout(&window_);
    input_ = new TagInputView(QString::fromUtf8("z. B. safety, review"),
                              {"Review", "Research", "Banane", "safety"}, 2, 8);
    input_->setOnTagsChanged([this](const Tags& tags) { reported_.push_back(tags); });
    column->addWidget(input_);
    column->addStretch();
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    input_->field()->setFocus();
    ASSERT_TRUE(input_->field()->hasFocus());
  }

  GradientBackground window_;
  TagInputView* input_ = nullptr;
  std::vector<Tags> reported_;
};

TEST_F(TagInputViewTest, TypingASeparatorTurnsTheWordIntoAChip) {
  QTest::keyClicks(input_->field(), QStringLiteral("Review"));
  EXPECT_TRUE(input_->chips().isEmpty());
  QTest::keyClick(input_->field(), Qt::Key_Space);

  EXPECT_EQ(labelsOf(input_->chips()), QStringList{QStringLiteral("Review")});
  EXPECT_EQ(input_->field()->text(), QString());
  EXPECT_EQ(reported_, (std::vector<Tags>{{"Review"}}));
}

TEST_F(TagInputViewTest, ReturnCommitsAndNeverReachesTheDefaultButtonOfTheSurroundingDialog) {
  QDialog dialog;
  auto* column = new QVBoxLayout(&dialog);
  auto* input = new TagInputView(QString(), {}, 2, 8);
  column->addWidget(input);
  auto* save = new QPushButton(QStringLiteral("Speichern"), &dialog);
  save->setDefault(true);
  column->addWidget(save);
  QSignalSpy clicks(save, &QPushButton::clicked);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  input->field()->setFocus();

  QTest::keyClicks(input->field(), QStringLiteral("alpha"));
  QTest::keyClick(input->field(), Qt::Key_Return);

  EXPECT_EQ(input->tags(), Tags{"alpha"});
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(TagInputViewTest, AClickedSuggestionIsAddedAndTheFieldKeepsTheFocus) {
  QTest::keyClicks(input_->field(), QStringLiteral("re"));
  ASSERT_EQ(labelsOf(input_->suggestionButtons()),
            (QStringList{QStringLiteral("Research"), QStringLiteral("Review")}));
  testing::saveScreenshot(window_, QStringLiteral("suggestions"));

  QTest::mouseClick(input_->suggestionButtons().at(1), Qt::LeftButton);

  EXPECT_EQ(input_->tags(), Tags{"Review"});
  EXPECT_EQ(input_->field()->text(), QString());
  EXPECT_TRUE(input_->field()->hasFocus());
  // The fragment is gone, so are the suggestions.
  EXPECT_TRUE(input_->suggestionButtons().isEmpty());
}

TEST_F(TagInputViewTest, PressingASuggestionLeavesTheFocusAndTheSuggestionsInPlaceUntilRelease) {
  QTest::keyClicks(input_->field(), QStringLiteral("re"));
  TagSuggestionButton* review = input_->suggestionButtons().at(1);
  QTest::mousePress(review, Qt::LeftButton);
  EXPECT_TRUE(input_->field()->hasFocus()) << "the press must not move the focus away from the field";
  ASSERT_EQ(input_->suggestionButtons().size(), 2) << "the row must stay for the release";
  QTest::mouseRelease(review, Qt::LeftButton);
  EXPECT_EQ(input_->tags(), Tags{"Review"});
  EXPECT_TRUE(input_->field()->hasFocus());
}

TEST_F(TagInputViewTest, TheRemoveButtonTakesTheChipAwayWithoutTakingTheFocus) {
  input_->setTags({"alpha", "Beta", "beta"});
  ASSERT_EQ(input_->chips().size(), 3);
  EXPECT_TRUE(reported_.empty()) << "setting the tags from outside is not reported back";

  QTest::mouseClick(input_->chips().at(1)->removeButton(), Qt::LeftButton);

  EXPECT_EQ(input_->tags(), Tags{"alpha"});
  EXPECT_EQ(reported_.size(), 1u);
  EXPECT_TRUE(input_->field()->hasFocus());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(labelsOf(input_->chips()), QStringList{QStringLiteral("alpha")});
}

TEST_F(TagInputViewTest, DoubleClickingAChipTakesItBackIntoTheField) {
  input_->setTags({"Review", "alpha"});
  input_->field()->clearFocus();
  QTest::mouseDClick(input_->chips().at(0), Qt::LeftButton);

  EXPECT_EQ(input_->tags(), Tags{"alpha"});
  EXPECT_EQ(input_->field()->text(), QStringLiteral("Review"));
  EXPECT_TRUE(input_->field()->hasFocus());
  // Nothing is committed until a separator or Return follows.
  QTest::keyClick(input_->field(), Qt::Key_Return);
  EXPECT_EQ(input_->tags(), (Tags{"alpha", "Review"}));
}

TEST_F(TagInputViewTest, ChipsWrapOntoNewLinesAndTheBoxGrowsWithThem) {
  const int oneLine = input_->heightForWidth(380);
  input_->setTags({"safety", "review", "research", "marketing", "Übersicht", "R&D", "<b>markup</b>"});
  EXPECT_GT(input_->heightForWidth(380), oneLine);
  // Tags are shown as they are written: no markup, no mnemonic.
  EXPECT_EQ(input_->chips().at(5)->label(), QStringLiteral("R&D"));
  testing::saveScreenshot(window_, QStringLiteral("chips"));

  // Every line is drawn: no chip and not the field is cut off or pushed out of the box.
  EXPECT_TRUE(testing::nothingClipped(window_));
  const QRect box = input_->rect();
  for (const EditableTagChip* chip : input_->chips()) {
    EXPECT_TRUE(box.contains(QRect(chip->mapTo(input_, QPoint(0, 0)), chip->size())))
        << chip->label().toStdString();
  }
  const QRect field(input_->field()->mapTo(input_, QPoint(0, 0)), input_->field()->size());
  EXPECT_TRUE(box.contains(field)) << "the field after the chips can be seen";
  EXPECT_GT(field.top(), input_->chips().front()->mapTo(input_, QPoint(0, 0)).y())
      << "it sits on a later line";
}

TEST_F(TagInputViewTest, AWordLongerThanALineStaysInsideTheBoxWhileItIsTyped) {
  QTest::keyClicks(input_->field(), QStringLiteral("einganzlangertagohnetrennzeichen").repeated(4));
  QCoreApplication::processEvents();
  const QRect field(input_->field()->mapTo(input_, QPoint(0, 0)), input_->field()->size());
  EXPECT_TRUE(input_->rect().contains(field)) << "the cursor at its end can be seen";
}

TEST_F(TagInputViewTest, ATagLongerThanTheBoxIsCutButItsRemoveButtonStaysInside) {
  const std::string longTag = std::string("einsehrlangertagderkeinenplatzhat").append(3, 'x') + "ende";
  input_->setTags({"kurz", longTag + longTag + longTag});
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  const QRect box = input_->rect();
  for (const EditableTagChip* chip : input_->chips()) {
    const QAbstractButton* remove = chip->removeButton();
    const QRect removeRect(remove->mapTo(input_, QPoint(0, 0)), remove->size());
    EXPECT_TRUE(box.contains(removeRect)) << chip->label().toStdString();
    EXPECT_TRUE(QRect(QPoint(0, 0), chip->size()).contains(QRect(remove->pos(), remove->size())));
  }
  testing::saveScreenshot(window_, QStringLiteral("long-tag"));

  // The cut chip can be removed like any other.
  QTest::mouseClick(input_->chips().at(1)->removeButton(), Qt::LeftButton);
  EXPECT_EQ(input_->tags(), Tags{"kurz"});

  // A wider box gives the chip its whole text back.
  input_->setTags({"ziemlich-langer-tag"});
  window_.resize(200, 220);
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  const EditableTagChip* narrow = input_->chips().front();
  EXPECT_TRUE(input_->rect().contains(
      QRect(narrow->removeButton()->mapTo(input_, QPoint(0, 0)), narrow->removeButton()->size())));
  const int narrowWidth = narrow->width();
  window_.resize(600, 220);
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_GT(input_->chips().front()->width(), narrowWidth);
}

TEST_F(TagInputViewTest, SuggestionsArePickedWithDownUpAndReturn) {
  QTest::keyClicks(input_->field(), QStringLiteral("re"));
  ASSERT_EQ(input_->suggestionButtons().size(), 2);
  const auto highlighted = [this] {
    QStringList labels;
    for (const TagSuggestionButton* button : input_->suggestionButtons()) {
      if (button->isHighlighted()) labels.append(button->label());
    }
    return labels;
  };
  EXPECT_TRUE(highlighted().isEmpty());
  QTest::keyClick(input_->field(), Qt::Key_Down);
  EXPECT_EQ(highlighted(), QStringList{QStringLiteral("Research")});
  QTest::keyClick(input_->field(), Qt::Key_Down);
  QTest::keyClick(input_->field(), Qt::Key_Down);
  EXPECT_EQ(highlighted(), QStringList{QStringLiteral("Review")}) << "the last one stays highlighted";
  QTest::keyClick(input_->field(), Qt::Key_Up);
  EXPECT_EQ(highlighted(), QStringList{QStringLiteral("Research")});
  QTest::keyClick(input_->field(), Qt::Key_Down);
  QTest::keyClick(input_->field(), Qt::Key_Return);

  EXPECT_EQ(input_->tags(), Tags{"Review"}) << "Return takes the highlighted suggestion, not the typed text";
  EXPECT_EQ(input_->field()->text(), QString());
  EXPECT_TRUE(input_->field()->hasFocus());

  // Up from the first suggestion, or Escape, goes back to the typed text, which Return commits.
  QTest::keyClicks(input_->field(), QStringLiteral("ba"));
  QTest::keyClick(input_->field(), Qt::Key_Down);
  QTest::keyClick(input_->field(), Qt::Key_Up);
  EXPECT_TRUE(highlighted().isEmpty());
  QTest::keyClick(input_->field(), Qt::Key_Down);
  QTest::keyClick(input_->field(), Qt::Key_Escape);
  EXPECT_TRUE(highlighted().isEmpty());
  QTest::keyClick(input_->field(), Qt::Key_Return);
  EXPECT_EQ(input_->tags(), (Tags{"Review", "ba"}));
}

TEST_F(TagInputViewTest, TabTakesASuggestionWhileTheyAreShownAndOtherwiseMovesOn) {
  auto* next = new QPushButton(QStringLiteral("Weiter"), &window_);
  window_.layout()->addWidget(next);
  next->show();
  QTest::keyClicks(input_->field(), QStringLiteral("sa"));
  ASSERT_EQ(labelsOf(input_->suggestionButtons()), QStringList{QStringLiteral("safety")});
  QTest::keyClick(input_->field(), Qt::Key_Tab);
  EXPECT_EQ(input_->tags(), Tags{"safety"}) << "with nothing highlighted, Tab takes the first";
  EXPECT_TRUE(input_->field()->hasFocus());

  QTest::keyClicks(input_->field(), QStringLiteral("re"));
  QTest::keyClick(input_->field(), Qt::Key_Down);
  QTest::keyClick(input_->field(), Qt::Key_Down);
  QTest::keyClick(input_->field(), Qt::Key_Tab);
  EXPECT_EQ(input_->tags(), (Tags{"safety", "Review"}));
  EXPECT_TRUE(input_->field()->hasFocus());

  QTest::keyClick(input_->field(), Qt::Key_Tab);
  EXPECT_TRUE(next->hasFocus()) << "without suggestions Tab leaves the field";
}

TEST_F(TagInputViewTest, TheEmptyFieldShowsItsWholePlaceholder) {
  input_->setTags({});
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(testing::showsWholePlaceholder(*input_->field()));
  input_->setTags({"alpha", "beta"});
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(testing::showsWholePlaceholder(*input_->field()));
}

TEST_F(TagInputViewTest, AChipsShadowFadesOutBeforeTheEdgeThatClipsIt) {
  input_->setTags({"lang", "test", "viele", "tags", "hier", "noch", "mehr", "Zeilen"});
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  // A shadow widget is clipped by its parent's rectangle: whatever of the shadow falls outside is
  // cut off with a hard edge, so it must already have faded to nothing there.
  constexpr int kInvisible = 4;  // of 255
  for (EditableTagChip* chip : input_->chips()) {
    auto* shadow = chip->findChild<DropShadow*>();
    ASSERT_NE(shadow, nullptr);
    QWidget* picture = shadow->shadowWidget();
    ASSERT_NE(picture, nullptr);
    const QImage image = shadowPixmap(chip->size(), shadow->cornerRadius(), shadow->style()).toImage();
    const QRect kept = picture->parentWidget()->rect().translated(-picture->pos());
    int strongestCut = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (!kept.contains(x, y)) strongestCut = std::max(strongestCut, qAlpha(image.pixel(x, y)));
      }
    }
    EXPECT_LE(strongestCut, kInvisible) << chip->label().toStdString();
  }
}

}  // namespace
}  // namespace velloran
