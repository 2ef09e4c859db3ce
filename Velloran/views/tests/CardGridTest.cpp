// The card grid's measuring: a card's height is measured once for its texts and width, however
// often its prompt is listed again, and measured again only when those texts change. Its cards'
// relative times.

#include <gtest/gtest.h>

#include <QApplication>
#include <map>
#include <memory>
#include <string>

#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/views/CardGrid.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/text/DateTexts.h"

namespace velloran {
namespace {

using namespace std::chrono_literals;

SharedPrompt gridPrompt(std::string title, std::string text, std::vector<std::string> tags = {}) {
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = std::move(title);
  prompt.tags = std::move(tags);
  prompt.versions.push_back(PromptVersion{platform::UUID::random(), prompt.id, std::move(text), "", 1, {}});
  return std::make_shared<const Prompt>(std::move(prompt));
}

SharedPrompt changed(const SharedPrompt& prompt, void (*change)(Prompt&)) {
  Prompt copy = *prompt;
  change(copy);
  return std::make_shared<const Prompt>(std::move(copy));
}

class CardGridTest : public ::testing::Test {
 protected:
  CardGridTest() {
    grid_ = std::make_unique<CardGrid>(dispatch_.sharedClock(), platform::mainQueue(), nullptr,
                                       [this](const Prompt& prompt, int width) {
                                         ++measured_[prompt.title];
                                         return PromptRow::heightFor(prompt, width);
                                       });
    grid_->resize(900, 700);
    grid_->show();
  }

  void show(PromptList prompts) {
    measured_.clear();
    grid_->setPrompts(std::make_shared<const PromptList>(std::move(prompts)));
    dispatch_.drain();
    QCoreApplication::processEvents();
  }
  int timesMeasured(const SharedPrompt& prompt) const {
    const auto found = measured_.find(prompt->title);
    return found == measured_.end() ? 0 : found->second;
  }

  platform::DeterministicDispatch dispatch_;
  std::map<std::string, int> measured_;  // by title
  std::unique_ptr<CardGrid> grid_;
};

TEST_F(CardGridTest, AnUnchangedPromptIsNeverMeasuredAgainAChangedOneIs) {
  const SharedPrompt first = gridPrompt("Erster", "Text");
  const SharedPrompt second = gridPrompt("Zweiter", "Ein längerer Text, der umbricht", {"tag"});
  const SharedPrompt third = gridPrompt("Dritter", "Text");
  show({first, second, third});
  EXPECT_EQ(timesMeasured(first), 1);
  EXPECT_EQ(timesMeasured(second), 1);
  EXPECT_EQ(timesMeasured(third), 1);

  // A search narrows the list and is erased again: the same prompts, nothing measured.
  show({first, third});
  show({first, second, third});
  EXPECT_TRUE(measured_.empty());

  // Read anew from the store: equal texts in new values are not measured again; a new preview,
  // title or tag row is.
  const SharedPrompt reread = changed(second, [](Prompt& prompt) { prompt.isSystem = !prompt.isSystem; });
  const SharedPrompt edited = changed(third, [](Prompt& prompt) { prompt.versions.back().content = "Neu"; });
  const SharedPrompt tagged = changed(first, [](Prompt& prompt) { prompt.tags = {"neu"}; });
  show({tagged, reread, edited});
  EXPECT_EQ(timesMeasured(tagged), 1);
  EXPECT_EQ(timesMeasured(reread), 0);
  EXPECT_EQ(timesMeasured(edited), 1);
  show({tagged, reread, edited});
  EXPECT_TRUE(measured_.empty()) << "the new values are known now";

  const SharedPrompt retitled = changed(edited, [](Prompt& prompt) { prompt.title = "Umbenannt"; });
  show({tagged, reread, retitled});
  EXPECT_EQ(timesMeasured(retitled), 1);
  EXPECT_EQ(grid_->itemRect(2).height(), PromptRow::heightFor(*retitled, grid_->itemRect(2).width()));
}

TEST_F(CardGridTest, CardsShowTheListedPromptsThemselves) {
  const SharedPrompt prompt = gridPrompt("Geteilt", "Text");
  show({prompt});
  PromptRow* card = grid_->cardFor(prompt->id);
  ASSERT_NE(card, nullptr);
  EXPECT_EQ(card->sharedPrompt(), prompt) << "the card holds the listed prompt, not a copy";

  const SharedPrompt edited = changed(prompt, [](Prompt& value) { value.versions.back().content = "Neu"; });
  show({edited});
  EXPECT_EQ(grid_->cardFor(prompt->id), card) << "the same card shows the prompt's new state";
  EXPECT_EQ(card->sharedPrompt(), edited);
}

TEST_F(CardGridTest, AWiderGridMeasuresAgainAndKeepsTheNarrowerHeights) {
  const SharedPrompt prompt = gridPrompt("Titel", "Ein Text, der bei schmaler Breite umbricht");
  show({prompt});
  grid_->resize(1200, 700);
  dispatch_.drain();
  QCoreApplication::processEvents();
  EXPECT_EQ(timesMeasured(prompt), 2);
  measured_.clear();
  grid_->resize(900, 700);
  dispatch_.drain();
  QCoreApplication::processEvents();
  EXPECT_EQ(timesMeasured(prompt), 0) << "the narrower width is still known";
}

TEST_F(CardGridTest, ACardIdleThroughARefreshOfTheTimesReadsTheClockWhenShownAgain) {
  const platform::Date start = dispatch_.sharedClock()->now();
  Prompt recent = *gridPrompt("Zeit", "Text");
  recent.updatedAt = platform::Date{start.secondsSinceReferenceDate - 42};
  const SharedPrompt prompt = std::make_shared<const Prompt>(recent);
  const auto shownTime = [&] {
    PromptRow* card = grid_->cardFor(prompt->id);
    return card != nullptr ? card->findChild<ElidedLabel*>("relativeTime")->text().toStdString() : "";
  };
  const auto timeAfter = [&](std::chrono::seconds passed) {
    return platform::relativeTimeText(prompt->updatedAt,
                                      platform::Date{start.secondsSinceReferenceDate + passed.count()});
  };
  ASSERT_NE(timeAfter(10s), timeAfter(0s));
  show({prompt});
  EXPECT_EQ(shownTime(), timeAfter(0s));

  show({});
  dispatch_.advance(CardGrid::kRelativeTimeRefresh);
  show({prompt});
  EXPECT_EQ(shownTime(), timeAfter(10s)) << "the refresh passed the idle card by";

  show({});
  dispatch_.advance(5s);
  show({prompt});
  EXPECT_EQ(shownTime(), timeAfter(10s)) << "no refresh since: as fresh as a card that stayed on show";
  dispatch_.advance(5s);
  EXPECT_EQ(shownTime(), timeAfter(20s));
}

}  // namespace
}  // namespace velloran
