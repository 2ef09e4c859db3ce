// The pure rules behind the library: tag suggestions, which text a copy or a chat hand-off takes,
// and the prompt a create-sheet draft becomes.

#include <gtest/gtest.h>

#include <set>

#include "Velloran/viewmodels/PromptDraft.h"
#include "Velloran/viewmodels/PromptTexts.h"
#include "Velloran/viewmodels/TagSuggestions.h"
#include "Velloran/viewmodels/testing/ViewModelTestBed.h"
#include "platform/identity/RandomSource.h"
#include "platform/time/ManualClock.h"

namespace velloran {
namespace {

using testing::samplePrompt;
using Texts = std::vector<std::string>;

// --- Tag suggestions ---------------------------------------------------------------------------

TEST(TagSuggestionsTest, TrimsDropsEmptiesKeepsFirstCaseFormAndSortsIgnoringCase) {
  EXPECT_EQ(tagSuggestions({"  Review\n", "review", "", "Alpha"}), (Texts{"Alpha", "Review"}));
}

TEST(TagSuggestionsTest, SortsByTheLocalesCaseInsensitiveCollationNotByCodePoint) {
  const Texts tags = {"zeta", "Beta",
                      "\xC3\x9C"
                      "bersicht",
                      "alpha", "Gamma"};
  EXPECT_EQ(tagSuggestions(tags, "de_DE"), (Texts{"alpha", "Beta", "Gamma",
                                                  "\xC3\x9C"
                                                  "bersicht",
                                                  "zeta"}));
}

TEST(TagSuggestionsTest, CaseFormsOfNonAsciiLettersAndCanonicalSpellingsAreOneTag) {
  // "Übersicht" precomposed, then lower-case with a combining diaeresis.
  const Texts tags = {
      "\xC3\x9C"
      "bersicht",
      "u\xCC\x88"
      "bersicht",
      "\xC3\xBC"
      "bersicht"};
  EXPECT_EQ(tagSuggestions(tags), (Texts{"\xC3\x9C"
                                         "bersicht"}));
}

// --- Copy and chat texts -----------------------------------------------------------------------

TEST(PromptTextsTest, CopyTakesTheTrimmedNewestVersion) {
  const Prompt prompt = samplePrompt("Titel", {}, {"alt", "  neu\n"});
  EXPECT_EQ(copyText(prompt), "neu");
  EXPECT_EQ(chatText(prompt), "neu");
}

TEST(PromptTextsTest, CopyFallsBackToTheUntrimmedTitleButChatNever) {
  const Prompt blankNewest = samplePrompt(" Titel ", {}, {"Inhalt", "   "});
  EXPECT_EQ(copyText(blankNewest), " Titel ");
  EXPECT_EQ(chatText(blankNewest), "");

  const Prompt withoutVersions = samplePrompt("Titel");
  EXPECT_EQ(copyText(withoutVersions), "Titel");
  EXPECT_EQ(chatText(withoutVersions), "");

  EXPECT_EQ(copyText(samplePrompt("")), "");
}

// --- Drafts ------------------------------------------------------------------------------------

TEST(PromptDraftTest, SavableOnlyWithTitleAndTextNonBlank) {
  EXPECT_TRUE(canSave(PromptDraft{.title = " a ", .content = "\nb\n"}));
  EXPECT_FALSE(canSave(PromptDraft{.title = "  ", .content = "b"}));
  EXPECT_FALSE(canSave(PromptDraft{.title = "a", .content = " \n\t"}));
  EXPECT_FALSE(canSave(PromptDraft{}));
}

TEST(PromptDraftTest, MakesATrimmedPromptWithOneFirstVersion) {
  platform::ManualClock clock;
  const PromptDraft draft{.title = "  Code Review ",
                          .type = PromptType::user,
                          .tags = {" b ", "a"},
                          .content = "\n Prüfe den Code.  "};
  const Prompt prompt = makePrompt(draft, clock, platform::systemRandomSource());

  EXPECT_FALSE(prompt.id.isNil());
  EXPECT_EQ(prompt.title, "Code Review");
  EXPECT_EQ(prompt.type, PromptType::user);
  EXPECT_FALSE(prompt.isSystem);
  EXPECT_EQ(prompt.tags, (Texts{" b ", "a"}));  // tags as they stand
  EXPECT_EQ(prompt.createdAt, clock.now());
  EXPECT_EQ(prompt.updatedAt, clock.now());
  ASSERT_EQ(prompt.versions.size(), 1u);
  const PromptVersion& version = prompt.versions.front();
  EXPECT_NE(version.id, prompt.id);
  EXPECT_EQ(version.promptRef, prompt.id);
  EXPECT_EQ(version.content, "Prüfe den Code.");
  EXPECT_EQ(version.notes, "");
  EXPECT_EQ(version.versionNumber, 1);
  EXPECT_TRUE(prompt.runs.empty());
  EXPECT_TRUE(prompt.snippets.empty());
}

}  // namespace
}  // namespace velloran
