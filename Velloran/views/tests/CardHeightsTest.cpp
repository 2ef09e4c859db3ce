// Kept card heights: found again by the listed value, and after values gone are cleared.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/views/CardHeights.h"

namespace velloran {
namespace {

SharedPrompt makePrompt(std::string title) {
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = std::move(title);
  return std::make_shared<const Prompt>(std::move(prompt));
}

class CardHeightsTest : public ::testing::Test {
 protected:
  std::map<std::string, int> measured_;  // by title
  // Heights that tell the widths apart.
  CardHeights heights_{[this](const Prompt& prompt, int width) {
    ++measured_[prompt.title];
    return width / 10;
  }};
};

TEST_F(CardHeightsTest, KeepsTheLastTwoWidthsOfAPrompt) {
  const SharedPrompt prompt = makePrompt("Titel");
  EXPECT_EQ(heights_.known(prompt, 300), std::nullopt);
  EXPECT_EQ(heights_.heightOf(prompt, 300), 30);
  EXPECT_EQ(heights_.heightOf(prompt, 290), 29);
  EXPECT_EQ(heights_.heightOf(prompt, 300), 30);
  EXPECT_EQ(measured_["Titel"], 2);
  EXPECT_EQ(heights_.heightOf(prompt, 280), 28);
  EXPECT_EQ(heights_.known(prompt, 290), 29) << "the later measured of the two stays";
  EXPECT_EQ(heights_.known(prompt, 300), std::nullopt);
}

TEST_F(CardHeightsTest, ValuesStillListedKeepTheirHeightsWhenThoseOfValuesGoneAreCleared) {
  const SharedPrompt kept = makePrompt("Behalten");
  heights_.heightOf(kept, 300);
  for (int round = 0; round < 3; ++round) {
    // A library read anew: new values of other prompts, the earlier ones released.
    std::vector<SharedPrompt> others;
    for (int index = 0; index < 200; ++index)
      others.push_back(makePrompt("Anderer " + std::to_string(index)));
    for (const SharedPrompt& other : others) heights_.heightOf(other, 300);
  }
  EXPECT_EQ(heights_.known(kept, 300), 30);
  EXPECT_EQ(measured_["Behalten"], 1);

  // A new value of a prompt whose old value is gone is known by its texts.
  const Prompt copy = *kept;
  const SharedPrompt again = std::make_shared<const Prompt>(copy);
  EXPECT_EQ(heights_.heightOf(again, 300), 30);
  EXPECT_EQ(measured_["Behalten"], 1);
}

}  // namespace
}  // namespace velloran
