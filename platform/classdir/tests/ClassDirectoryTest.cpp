#include "platform/classdir/ClassDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

struct VersionFacet {
  virtual ~VersionFacet() = default;
  virtual std::string version() const { return "1.2"; }
};
struct StartFacet {
  int starts = 0;
};

TEST(ClassDirectory, OnlyRegisteredNamesAreLinkedAndFacetsAnswerByRegisteredType) {
  ClassDirectory directory;
  auto start = std::make_shared<StartFacet>();
  directory.registerClass("Analytics", std::make_shared<VersionFacet>(), start);
  directory.registerClass("Bare");

  EXPECT_EQ(directory.lookup("analytics"), nullptr) << "names are compared exactly";
  EXPECT_EQ(directory.lookup("Absent"), nullptr);
  const ClassEntry* entry = directory.lookup("Analytics");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->name(), "Analytics");
  EXPECT_EQ(entry->facet<VersionFacet>()->version(), "1.2");
  EXPECT_EQ(entry->facet<StartFacet>(), start.get()) << "the registered object, not a copy";
  EXPECT_EQ(directory.lookup("Bare")->facet<StartFacet>(), nullptr);
}

TEST(ClassDirectory, TheFirstRegistrationOfANameWins) {
  ClassDirectory directory;
  const ClassEntry& first = directory.registerClass("Component", std::make_shared<StartFacet>());
  const ClassEntry& second = directory.registerClass("Component", std::make_shared<VersionFacet>());
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(directory.lookup("Component"), &first);
  EXPECT_NE(first.facet<StartFacet>(), nullptr);
  EXPECT_EQ(first.facet<VersionFacet>(), nullptr);
}

TEST(ClassDirectory, ResetForgetsEveryClass) {
  ClassDirectory& shared = ClassDirectory::shared();
  shared.registerClass("Fake");
  shared.resetForTesting();
  EXPECT_EQ(shared.lookup("Fake"), nullptr);
  shared.registerClass("Fake", std::make_shared<StartFacet>());
  EXPECT_NE(ClassDirectory::shared().lookup("Fake")->facet<StartFacet>(), nullptr);
}

TEST(ClassDirectory, ConcurrentRegistrationsOfOneNameAgreeOnOneEntry) {
  ClassDirectory directory;
  std::vector<const ClassEntry*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      seen[i] = &directory.registerClass("Shared");
      for (int n = 0; n < 100; ++n) directory.lookup("T" + std::to_string(n));
      for (int n = 0; n < 100; ++n) directory.registerClass("T" + std::to_string(n));
    });
  }
  for (auto& thread : threads) thread.join();
  for (const ClassEntry* entry : seen) EXPECT_EQ(entry, directory.lookup("Shared"));
}

}  // namespace
}  // namespace platform
