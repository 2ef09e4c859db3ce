#include "platform/workspace/XdgOpenWorkspace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// An opener that writes its argument count and its first argument to "opened" beside itself.
class FakeOpener {
 public:
  FakeOpener() {
    std::ofstream(script())
        << "#!/bin/sh\n"
           "dir=$(dirname \"$0\")\n"
           "printf '%s\\n%s' \"$#\" \"$1\" > \"$dir/opening\" && mv \"$dir/opening\" \"$dir/opened\"\n";
    std::filesystem::permissions(script(), std::filesystem::perms::owner_all);
  }

  std::filesystem::path script() const { return folder_.path() / "opener"; }
  std::filesystem::path folder() const { return folder_.path(); }

  // What the opener recorded, once it has run.
  std::string waitForRecord() const {
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    while (!std::filesystem::exists(folder() / "opened") && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(2ms);
    }
    std::ifstream in(folder() / "opened");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  testing::TemporaryDirectory folder_;
};

TEST(XdgOpenWorkspaceTest, HandsTheUrlOverAsOneUntouchedArgumentWithoutAShell) {
  FakeOpener opener;
  XdgOpenWorkspace workspace(opener.script().string());
  const std::string url =
      "https://example.com/a?b=$(touch " + (opener.folder() / "pwned").string() + ")&c=`id`;d='e'|f";

  ASSERT_TRUE(workspace.openURL(url));

  EXPECT_EQ(opener.waitForRecord(), "1\n" + url);
  EXPECT_FALSE(std::filesystem::exists(opener.folder() / "pwned"));
}

TEST(XdgOpenWorkspaceTest, RefusesTextThatCouldPassAsAnOptionOrIsNoUrl) {
  FakeOpener opener;
  XdgOpenWorkspace workspace(opener.script().string());

  for (const char* text :
       {"", "--help", "-x", "no scheme here", ":nothing", "1http://x", "https://a\nb", "https://a\tb"}) {
    EXPECT_FALSE(workspace.openURL(text)) << text;
  }
  // The positive case last: had any refused text started the opener, it would have recorded first.
  ASSERT_TRUE(workspace.openURL("mailto:someone@example.com"));
  EXPECT_EQ(opener.waitForRecord(), "1\nmailto:someone@example.com");
}

TEST(XdgOpenWorkspaceTest, AnswersFalseWhenNoOpenerCanBeStarted) {
  testing::TemporaryDirectory empty;
  XdgOpenWorkspace workspace((empty.path() / "missing-opener").string());
  EXPECT_FALSE(workspace.openURL("https://example.com/"));
}

}  // namespace
}  // namespace platform
