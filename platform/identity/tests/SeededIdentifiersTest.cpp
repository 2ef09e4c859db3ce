#include "platform/identity/testing/SeededIdentifiers.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "platform/identity/UUID.h"

namespace platform {
namespace {

using testing::SeededIdentifiers;

std::vector<UUID> draws(std::size_t count) {
  std::vector<UUID> drawn;
  for (std::size_t i = 0; i < count; ++i) drawn.push_back(UUID::random());
  return drawn;
}

std::vector<UUID> drawsUnder(std::uint64_t seed, std::size_t count) {
  const SeededIdentifiers seeded(seed);
  return draws(count);
}

TEST(IdentitySeededIdentifiers, ASeedMakesTheSameIdentifiersAgain) {
  const std::vector<UUID> first = drawsUnder(7, 20);
  EXPECT_EQ(drawsUnder(7, 20), first);
  EXPECT_NE(drawsUnder(8, 20), first);
  EXPECT_EQ(std::set<UUID>(first.begin(), first.end()).size(), first.size());
  EXPECT_EQ(first.front().uuidString()[14], '4');
}

TEST(IdentitySeededIdentifiers, TheSystemSourceIsBackOnceTheScopeEnds) {
  const std::vector<UUID> seeded = drawsUnder(7, 2);
  EXPECT_EQ(&identifierSource(), &systemRandomSource());
  EXPECT_NE(draws(2), seeded);
}

TEST(IdentitySeededIdentifiers, AnInnerScopeLeavesTheOuterSequenceWhereItWas) {
  const std::vector<UUID> outerAlone = drawsUnder(1, 2);
  const SeededIdentifiers outer(1);
  const UUID first = UUID::random();
  EXPECT_EQ(drawsUnder(2, 3), drawsUnder(2, 3));
  EXPECT_EQ(first, outerAlone[0]);
  EXPECT_EQ(UUID::random(), outerAlone[1]);
}

TEST(IdentitySeededIdentifiers, DrawsFromSeveralThreadsTakeWholeIdentifiers) {
  constexpr std::size_t kThreads = 4;
  constexpr std::size_t kEach = 200;
  const std::vector<UUID> sequential = drawsUnder(11, kThreads * kEach);

  std::vector<std::vector<UUID>> drawn(kThreads);
  {
    const SeededIdentifiers seeded(11);
    std::vector<std::thread> threads;
    for (std::vector<UUID>& mine : drawn) threads.emplace_back([&mine] { mine = draws(kEach); });
    for (std::thread& thread : threads) thread.join();
  }
  // However the threads took turns, each identifier is one of the sequence's, none twice.
  std::set<UUID> all;
  for (const std::vector<UUID>& mine : drawn) all.insert(mine.begin(), mine.end());
  EXPECT_EQ(all, std::set<UUID>(sequential.begin(), sequential.end()));
}

}  // namespace
}  // namespace platform
