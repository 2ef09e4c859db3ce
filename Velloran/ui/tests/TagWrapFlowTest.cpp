#include "Velloran/ui/TagWrapFlow.h"

#include <gtest/gtest.h>

namespace velloran {
namespace {

using Positions = std::vector<QPoint>;

std::vector<QSize> sizes(std::initializer_list<QSize> list) {
  return list;
}

TEST(TagWrapFlowTest, NoItemsTakeNoSpace) {
  const TagWrapFlow flow = flowTags({}, 100, 8, 8);
  EXPECT_EQ(flow.size, QSize(0, 0));
  EXPECT_TRUE(flow.positions.empty());
  EXPECT_EQ(flowTags({}, std::nullopt, 8, 8).size, QSize(0, 0));
}

TEST(TagWrapFlowTest, WrapsTheThirdOfThreeItemsInAHundredPoints) {
  const TagWrapFlow flow = flowTags(sizes({{40, 20}, {40, 20}, {40, 20}}), 100, 8, 8);
  EXPECT_EQ(flow.size, QSize(96, 48));
  EXPECT_EQ(flow.positions, (Positions{{0, 0}, {48, 0}, {0, 28}}));
}

TEST(TagWrapFlowTest, WithoutAWidthEverythingStaysOnOneLine) {
  const TagWrapFlow flow = flowTags(sizes({{40, 20}, {40, 20}, {40, 20}}), std::nullopt, 8, 8);
  EXPECT_EQ(flow.size, QSize(144, 20));
  EXPECT_EQ(flow.positions, (Positions{{0, 0}, {48, 0}, {96, 0}}));
}

TEST(TagWrapFlowTest, ATooWideFirstItemLeavesAnEmptyFirstLine) {
  const TagWrapFlow flow = flowTags(sizes({{120, 20}}), 100, 8, 8);
  EXPECT_EQ(flow.size, QSize(128, 28));
  EXPECT_EQ(flow.positions, (Positions{{0, 8}}));
}

TEST(TagWrapFlowTest, ATooWideLaterItemGetsALineOfItsOwn) {
  const TagWrapFlow flow = flowTags(sizes({{40, 20}, {120, 20}, {40, 20}}), 100, 8, 8);
  EXPECT_EQ(flow.positions, (Positions{{0, 0}, {0, 28}, {0, 56}}));
  EXPECT_EQ(flow.size, QSize(128, 76));
}

TEST(TagWrapFlowTest, ALineIsAsHighAsItsTallestItem) {
  const TagWrapFlow flow = flowTags(sizes({{40, 20}, {40, 30}, {40, 10}, {40, 5}}), 100, 8, 6);
  EXPECT_EQ(flow.positions, (Positions{{0, 0}, {48, 0}, {0, 36}, {48, 36}}));
  EXPECT_EQ(flow.size, QSize(96, 46));
}

TEST(TagWrapFlowTest, AnItemEndingExactlyAtTheEdgeStillFitsAndTrailingSpacingCounts) {
  const TagWrapFlow flow = flowTags(sizes({{40, 20}, {40, 20}}), 88, 8, 8);
  EXPECT_EQ(flow.positions, (Positions{{0, 0}, {48, 0}}));
  EXPECT_EQ(flow.size, QSize(96, 20)) << "wider than the 88 offered: the spacing after the last item counts";

  const TagWrapFlow oneShort = flowTags(sizes({{40, 20}, {40, 20}}), 87, 8, 8);
  EXPECT_EQ(oneShort.positions, (Positions{{0, 0}, {0, 28}}));
}

TEST(TagWrapFlowTest, NoWidthAtAllPutsEveryItemOnItsOwnLine) {
  const TagWrapFlow flow = flowTags(sizes({{40, 20}, {30, 10}}), 0, 8, 8);
  EXPECT_EQ(flow.positions, (Positions{{0, 8}, {0, 36}}));
  EXPECT_EQ(flow.size, QSize(48, 46));
}

}  // namespace
}  // namespace velloran
