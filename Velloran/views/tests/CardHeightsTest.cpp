// Kept card heights: found again by the listed value, for listings narrowed or in another order, and
// after values gone are cleared.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/views/CardHeights.h"

namespace velloran {
namespace {

SharedPrompt titledPrompt(std::string title) {
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = std::move(title);
  return std::make_shared<const Prompt>(std::move(prompt));
}

class CardHeightsTest : public ::testing::Test {
 protected:
  std::optional<int> known(const SharedPrompt& prompt, int width) {
    return heights_.known({prompt}, width).front();
  }

  std::map<std::string, int> measured_;  // by title
  // Heights that tell the widths and the titles apart.
  CardHeights heights_{[this](const Prompt& prompt, int width) {
    ++measured_[prompt.title];
    return width / 10 + static_cast<int>(prompt.title.size());
  }};
};

TEST_F(CardHeightsTest, KeepsTheLastTwoWidthsOfAPrompt) {
  const SharedPrompt prompt = titledPrompt("Titel");
  EXPECT_EQ(known(prompt, 300), std::nullopt);
  EXPECT_EQ(heights_.heightOf(prompt, 300), 35);
  EXPECT_EQ(heights_.heightOf(prompt, 290), 34);
  EXPECT_EQ(heights_.heightOf(prompt, 300), 35);
  EXPECT_EQ(measured_["Titel"], 2);
  EXPECT_EQ(heights_.heightOf(prompt, 280), 33);
  EXPECT_EQ(known(prompt, 290), 34) << "the later measured of the two stays";
  EXPECT_EQ(known(prompt, 300), std::nullopt);
}

TEST_F(CardHeightsTest, ListingsNarrowedOrInAnotherOrderFindTheirHeights) {
  const SharedPrompt a = titledPrompt("a");
  const SharedPrompt bb = titledPrompt("bb");
  const SharedPrompt ccc = titledPrompt("ccc");
  const SharedPrompt dddd = titledPrompt("dddd");
  heights_.heightOf(a, 300);
  heights_.heightOf(ccc, 300);
  using Known = std::vector<std::optional<int>>;
  EXPECT_EQ(heights_.known({a, bb, ccc, dddd}, 300), (Known{31, std::nullopt, 33, std::nullopt}));

  heights_.heightOf(bb, 300);
  EXPECT_EQ(heights_.known({bb, ccc}, 300), (Known{32, 33})) << "measured after the wider listing";
  EXPECT_EQ(heights_.known({dddd, ccc, a}, 300), (Known{std::nullopt, 33, 31}));
  EXPECT_EQ(heights_.known({a, bb, ccc, dddd}, 300), (Known{31, 32, 33, std::nullopt}));
  EXPECT_EQ(heights_.known({a, bb}, 290), (Known{std::nullopt, std::nullopt})) << "another width";
  for (const auto& [title, times] : measured_) EXPECT_EQ(times, 1) << title;
}

TEST_F(CardHeightsTest, ValuesStillListedKeepTheirHeightsWhenThoseOfValuesGoneAreCleared) {
  const SharedPrompt kept = titledPrompt("Behalten");
  heights_.heightOf(kept, 300);
  for (int round = 0; round < 3; ++round) {
    // A library read anew: new values of other prompts, the earlier ones released.
    std::vector<SharedPrompt> others;
    for (int index = 0; index < 200; ++index)
      others.push_back(titledPrompt("Anderer " + std::to_string(index)));
    for (const SharedPrompt& other : others) heights_.heightOf(other, 300);
  }
  EXPECT_EQ(known(kept, 300), 38);
  EXPECT_EQ(measured_["Behalten"], 1);

  // A new value of a prompt whose old value is gone is known by its texts.
  const Prompt copy = *kept;
  const SharedPrompt again = std::make_shared<const Prompt>(copy);
  EXPECT_EQ(heights_.heightOf(again, 300), 38);
  EXPECT_EQ(measured_["Behalten"], 1);
}

TEST_F(CardHeightsTest, APromptGoneWithAllItsValuesLeavesNothingBehind) {
  SharedPrompt gone = titledPrompt("Gelöscht");
  heights_.heightOf(gone, 300);
  const Prompt copy = *gone;
  gone.reset();
  for (int round = 0; round < 3; ++round) {
    std::vector<SharedPrompt> others;
    for (int index = 0; index < 200; ++index)
      others.push_back(titledPrompt("Anderer " + std::to_string(index)));
    for (const SharedPrompt& other : others) heights_.heightOf(other, 300);
  }
  // Should a prompt with its texts come back, nothing of it was kept: it is measured anew.
  EXPECT_EQ(heights_.heightOf(std::make_shared<const Prompt>(copy), 300),
            30 + static_cast<int>(copy.title.size()));
  EXPECT_EQ(measured_["Gelöscht"], 2);
}

}  // namespace
}  // namespace velloran
