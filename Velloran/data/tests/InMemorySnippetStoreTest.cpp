#include "Velloran/data/InMemorySnippetStore.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Velloran/data/testing/RepositoryTestSupport.h"

namespace velloran::testing {
namespace {

class InMemorySnippetStoreTest : public ::testing::Test {
 protected:
  // Titles sorted, since the store promises no order.
  std::vector<std::string> titlesFound(std::optional<std::string> search) {
    auto result = runToCompletion<std::vector<Snippet>>(
        dispatch_, [&](auto done) { store_.fetchSnippets(std::move(search), done); });
    EXPECT_TRUE(result.ok());
    std::vector<std::string> titles;
    if (result.ok()) {
      for (const Snippet& snippet : *result) titles.push_back(snippet.title);
    }
    std::ranges::sort(titles);
    return titles;
  }
  void save(const Snippet& snippet) {
    ASSERT_TRUE(runToCompletion<void>(dispatch_, [&](auto done) { store_.saveSnippet(snippet, done); }).ok());
  }
  static Snippet snippet(std::uint8_t id, std::string title, std::vector<std::string> tags = {},
                         std::string content = "") {
    return Snippet{testUUID(id), std::move(title), std::move(content), std::move(tags),
                   false,        platform::Date{1}};
  }

  platform::DeterministicDispatch dispatch_;
  InMemorySnippetStore store_;
};

TEST_F(InMemorySnippetStoreTest, AbsentOrEmptySearchReturnsEverySnippet) {
  save(snippet(1, "Greeting"));
  save(snippet(2, "Signature"));
  const std::vector<std::string> all{"Greeting", "Signature"};
  EXPECT_EQ(titlesFound(std::nullopt), all);
  EXPECT_EQ(titlesFound(""), all);
}

TEST_F(InMemorySnippetStoreTest, SearchLooksInTitleAndTagsButNotContent) {
  save(snippet(1, "Greeting"));
  save(snippet(2, "Closing", {"GREET"}));
  save(snippet(3, "Body", {}, "greetings inside"));
  EXPECT_EQ(titlesFound("greet"), (std::vector<std::string>{"Closing", "Greeting"}));
}

TEST_F(InMemorySnippetStoreTest, SaveReplacesByIdAndDeleteSkipsUnknownIds) {
  save(snippet(1, "old"));
  save(snippet(1, "new"));
  save(snippet(2, "other"));
  EXPECT_EQ(titlesFound(std::nullopt), (std::vector<std::string>{"new", "other"}));

  ASSERT_TRUE(runToCompletion<void>(dispatch_, [&](auto done) {
                store_.deleteSnippet({testUUID(1), testUUID(9)}, done);
              }).ok());
  EXPECT_EQ(titlesFound(std::nullopt), std::vector<std::string>{"other"});
}

}  // namespace
}  // namespace velloran::testing
