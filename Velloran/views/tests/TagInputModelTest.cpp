// The typing rules of the tag input, without widgets.

#include <gtest/gtest.h>

#include "Velloran/views/TagInputModel.h"

namespace velloran {
namespace {

using Tags = std::vector<std::string>;

class TagInputModelTest : public ::testing::Test {
 protected:
  TagInputModel makeModel(Tags suggestions = {}, int minimum = 2, int maximum = 8) {
    return TagInputModel(TagInputModel::Binding{[this] { return tags_; },
                                                [this](Tags tags) {
                                                  tags_ = std::move(tags);
                                                  ++writes_;
                                                }},
                         std::move(suggestions), minimum, maximum);
  }

  Tags tags_;
  int writes_ = 0;
};

TEST_F(TagInputModelTest, ASeparatorCommitsTheTypedTagAndEmptiesTheField) {
  TagInputModel model = makeModel();
  model.setInputText("Review");
  EXPECT_EQ(tags_, Tags{});
  model.setInputText("Review ");
  EXPECT_EQ(tags_, Tags{"Review"});
  EXPECT_EQ(model.inputText(), "");

  // The same tag in other letters is a duplicate: nothing is added, the field still empties.
  model.setInputText("review,");
  EXPECT_EQ(tags_, Tags{"Review"});
  EXPECT_EQ(model.inputText(), "");
  EXPECT_EQ(writes_, 1);
}

TEST_F(TagInputModelTest, APasteCommitsAllButTheLastPieceUnlessItEndsWithASeparator) {
  TagInputModel model = makeModel();
  model.setInputText("a b c");
  EXPECT_EQ(tags_, (Tags{"a", "b"}));
  EXPECT_EQ(model.inputText(), "c");
  model.commitInput();
  EXPECT_EQ(tags_, (Tags{"a", "b", "c"}));
  EXPECT_EQ(model.inputText(), "");

  tags_.clear();
  model.setInputText("a,,b,");
  EXPECT_EQ(tags_, (Tags{"a", "b"}));
  EXPECT_EQ(model.inputText(), "");

  // Line breaks and tabs separate too.
  tags_.clear();
  model.setInputText("x\ty\nz\n");
  EXPECT_EQ(tags_, (Tags{"x", "y", "z"}));
}

TEST_F(TagInputModelTest, DuplicatesWithinOnePasteAreAddedOnce) {
  TagInputModel model = makeModel();
  model.setInputText("x y x");
  EXPECT_EQ(tags_, (Tags{"x", "y"}));
  EXPECT_EQ(model.inputText(), "x");
  model.commitInput();
  EXPECT_EQ(tags_, (Tags{"x", "y"}));
  EXPECT_EQ(model.inputText(), "");

  model.setInputText("Über über ÜBER ");
  EXPECT_EQ(tags_, (Tags{"x", "y", "Über"}));
}

TEST_F(TagInputModelTest, CanonicallyEquivalentSpellingsAreOneTag) {
  // "Café" with a precomposed é, then with an e and a combining acute accent.
  TagInputModel model = makeModel();
  model.setInputText("Caf\xC3\xA9 cafe\xCC\x81 CAFE\xCC\x81 ");
  EXPECT_EQ(tags_, Tags{"Caf\xC3\xA9"});
}

TEST_F(TagInputModelTest, SuggestionsCompareCanonicallyEquivalentSpellingsAsEqual) {
  tags_ = {"cafe\xCC\x81"};
  TagInputModel model = makeModel({"Caf\xC3\xA9", "r\xC3\xA9sum\xC3\xA9", "Resume"});
  model.setFocused(true);
  model.setInputText("re\xCC\x81");
  EXPECT_EQ(model.filteredSuggestions(), Tags{"r\xC3\xA9sum\xC3\xA9"}) << "a prefix in the other spelling";
  model.setInputText("caf");
  EXPECT_EQ(model.filteredSuggestions(), Tags{}) << "the chosen tag in the other spelling is not offered";
}

TEST_F(TagInputModelTest, SeparatorsAloneChangeNothing) {
  TagInputModel model = makeModel();
  model.setInputText(" , ,");
  EXPECT_EQ(tags_, Tags{});
  EXPECT_EQ(model.inputText(), " , ,");
  model.commitInput();
  EXPECT_EQ(model.inputText(), " , ,");
  EXPECT_EQ(writes_, 0);
}

TEST_F(TagInputModelTest, RemovalTakesEveryTagEqualIgnoringCaseInOneWrite) {
  tags_ = {"Review", "alpha", "REVIEW", "review"};
  TagInputModel model = makeModel();
  model.removeTag("review");
  EXPECT_EQ(tags_, Tags{"alpha"});
  EXPECT_EQ(writes_, 1);
}

TEST_F(TagInputModelTest, EditingAChipPutsItBackIntoTheFocusedField) {
  tags_ = {"Review", "alpha", "review"};
  TagInputModel model = makeModel();
  model.editTag("Review");
  EXPECT_EQ(tags_, Tags{"alpha"});
  EXPECT_EQ(model.inputText(), "Review");
  EXPECT_TRUE(model.isFocused());

  // A stored tag holding a blank is split as soon as it reaches the field, like typed text.
  tags_ = {"two words"};
  model.editTag("two words");
  EXPECT_EQ(tags_, Tags{"two"});
  EXPECT_EQ(model.inputText(), "words");
}

class TagSuggestionTest : public TagInputModelTest {
 protected:
  void SetUp() override { tags_ = {"AI"}; }
  const Tags suggestions_{"ai", " Analyse ", "Daten", "analyse", "Banane"};
};

TEST_F(TagSuggestionTest, PrefixMatchesComeBeforeContainsMatchesAndChosenTagsAreLeftOut) {
  TagInputModel model = makeModel(suggestions_);
  model.setFocused(true);
  model.setInputText("an");
  EXPECT_EQ(model.filteredSuggestions(), (Tags{"Analyse", "Banane"}));
}

TEST_F(TagSuggestionTest, NothingIsOfferedUnfocusedBelowTheMinimumOrForTheTypedTagItself) {
  TagInputModel model = makeModel(suggestions_);
  model.setInputText("an");
  EXPECT_EQ(model.filteredSuggestions(), Tags{});

  model.setFocused(true);
  model.setInputText("a");
  EXPECT_EQ(model.filteredSuggestions(), Tags{});

  model.setInputText("analyse");
  EXPECT_EQ(model.filteredSuggestions(), Tags{});
}

TEST_F(TagSuggestionTest, TheMinimumCountsUserPerceivedCharacters) {
  // "ä" written as "a" and a combining diaeresis is one character.
  TagInputModel model = makeModel({"äpfel"}, 2);
  model.setFocused(true);
  model.setInputText("a\xCC\x88");
  EXPECT_EQ(model.filteredSuggestions(), Tags{});
}

TEST_F(TagInputModelTest, SuggestionsAreCutToTheLimitPrefixMatchesFirst) {
  Tags many;
  for (char letter = 'a'; letter <= 'j'; ++letter) many.push_back(std::string("x") + "re" + letter);
  many.push_back("review");
  TagInputModel model = makeModel(many, 2, 8);
  model.setFocused(true);
  model.setInputText("re");
  const Tags shown = model.filteredSuggestions();
  ASSERT_EQ(shown.size(), 8u);
  EXPECT_EQ(shown.front(), "review");
  EXPECT_EQ(shown[1], "xrea");
}

TEST_F(TagInputModelTest, AZeroOrNegativeLimitOffersNothing) {
  for (int limit : {0, -3}) {
    TagInputModel model = makeModel({"review"}, 2, limit);
    model.setFocused(true);
    model.setInputText("re");
    EXPECT_EQ(model.filteredSuggestions(), Tags{}) << "limit " << limit;
    EXPECT_EQ(model.maxSuggestionCount(), 0);
  }
}

TEST_F(TagSuggestionTest, ChoosingASuggestionAddsItAndDropsTheFragment) {
  TagInputModel model = makeModel(suggestions_);
  model.setFocused(true);
  model.setInputText("an");
  model.selectSuggestion("Analyse");
  EXPECT_EQ(tags_, (Tags{"AI", "Analyse"}));
  EXPECT_EQ(model.inputText(), "");
  EXPECT_TRUE(model.isFocused());
}

TEST_F(TagInputModelTest, AHighlightFollowsTheOfferedSuggestionsAndGoesWithTyping) {
  TagInputModel model = makeModel({"Review", "Research", "Banane"});
  model.setFocused(true);
  model.moveHighlight(1);
  EXPECT_EQ(model.highlightedSuggestion(), std::nullopt) << "nothing offered, nothing to highlight";

  model.setInputText("re");
  model.moveHighlight(-1);
  EXPECT_EQ(model.highlightedSuggestion(), std::nullopt) << "up from none stays at the typed text";
  model.moveHighlight(2);
  EXPECT_EQ(model.highlightedSuggestion(), "Review");
  model.moveHighlight(5);
  EXPECT_EQ(model.highlightedSuggestion(), "Review") << "down stops at the last";

  model.setInputText("res");
  EXPECT_EQ(model.highlightedSuggestion(), std::nullopt) << "typing starts over";
  model.moveHighlight(1);
  model.setFocused(false);
  EXPECT_EQ(model.highlightedSuggestion(), std::nullopt);

  model.setFocused(true);
  model.commitInput();
  EXPECT_EQ(tags_, Tags{"res"}) << "without a highlight Return commits the typed text";
  model.setInputText("ba");
  model.moveHighlight(1);
  EXPECT_TRUE(model.takeHighlightedSuggestion());
  EXPECT_EQ(tags_, (Tags{"res", "Banane"}));
  EXPECT_EQ(model.inputText(), "");
  EXPECT_FALSE(model.takeHighlightedSuggestion());
}

}  // namespace
}  // namespace velloran
