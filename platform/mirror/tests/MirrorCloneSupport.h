#pragma once
// Shared by the mirror's clone tests: a disk cloned with its host name and home path gives two
// machines with one store identity, hence one journal name, each with its own copy of the mirror
// folder that a copier carries between them, as a file-sync tool does.

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/mirror/tests/MirrorTestSupport.h"

namespace platform::testing {

enum class Copier {
  // Of two versions of a file changed on both sides, the one written last takes both places.
  newerWins,
  // Both versions are kept: the other side's beside the file, under one of the names sync tools give.
  conflictCopies,
};

// Carries the journals between two copies of the mirror folder, as a file-sync tool does.
class JournalCopier {
 public:
  JournalCopier(std::filesystem::path first, std::filesystem::path second, Copier mode)
      : sides_{std::move(first), std::move(second)}, mode_(mode) {}

  void carry() {
    std::set<std::string> names;
    for (const std::filesystem::path& side : sides_) {
      std::filesystem::create_directories(side);
      for (const auto& entry : std::filesystem::directory_iterator(side))
        names.insert(entry.path().filename());
    }
    for (const std::string& name : names) carry(name);
  }

 private:
  void carry(const std::string& name) {
    const std::array<std::optional<std::string>, 2> contents{read(sides_[0] / name), read(sides_[1] / name)};
    const std::optional<std::string>& synced = lastCarried_[name];
    const bool firstChanged = contents[0] != synced;
    const bool secondChanged = contents[1] != synced;
    if (!firstChanged && !secondChanged) return;
    if (firstChanged != secondChanged || contents[0] == contents[1]) {
      place(name, firstChanged ? contents[0] : contents[1]);
      return;
    }
    // Changed on both sides.
    const std::size_t newer = newerSide(name);
    if (mode_ == Copier::conflictCopies) {
      const std::string copy = conflictName(name);
      place(copy, contents[1 - newer]);
    }
    place(name, contents[newer]);
  }

  std::size_t newerSide(const std::string& name) const {
    const auto first = std::filesystem::last_write_time(sides_[0] / name);
    const auto second = std::filesystem::last_write_time(sides_[1] / name);
    return second > first ? 1 : 0;
  }

  // The names three kinds of sync tool give the other side's version, in turn.
  std::string conflictName(const std::string& name) {
    const std::string stem = name.substr(0, name.size() - std::string(".jsonl").size());
    const std::string count = std::to_string(++conflicts_);
    switch (conflicts_ % 3) {
      case 0:
        return stem + " (conflicted copy " + count + ").jsonl";
      case 1:
        return stem + " (" + count + ").jsonl";
      default:
        return name + ".sync-conflict-20261209-" + count;
    }
  }

  void place(const std::string& name, const std::optional<std::string>& contents) {
    for (const std::filesystem::path& side : sides_) {
      if (contents) {
        std::ofstream(side / name, std::ios::trunc | std::ios::binary) << *contents;
      } else {
        std::filesystem::remove(side / name);
      }
    }
    lastCarried_[name] = contents;
  }

  static std::optional<std::string> read(const std::filesystem::path& file) {
    if (!std::filesystem::exists(file)) return std::nullopt;
    return fileContents(file);
  }

  std::array<std::filesystem::path, 2> sides_;
  Copier mode_;
  std::map<std::string, std::optional<std::string>> lastCarried_;
  int conflicts_ = 0;
};

// a's disk cloned onto b, each with its own copy of the mirror folder.
class ClonedDiskTest : public MirrorTest {
 protected:
  std::filesystem::path rootOfB() const { return folder.path() / "mirror of b"; }

  // a's disk is cloned onto b: its data folder, its mirror folder, and where both lie.
  void cloneAOntoB() {
    a.reset();
    copyDataFolder("a", "b");
    std::filesystem::copy(root(), rootOfB(), std::filesystem::copy_options::recursive);
    a = makeDevice("a");
    b = std::make_unique<Device>(folder.path() / "b", testSettings(rootOfB()), dispatch.clock());
    // Before its mirror starts: b is where a was, on a machine of the same name.
    b->claimHome();
    ASSERT_EQ(a->device(), b->device());
  }

  // Both machines poll, and the copier carries their journals over, `rounds` times.
  void syncBoth(JournalCopier& copier, int rounds) {
    for (int round = 0; round < rounds; ++round) {
      sync();
      copier.carry();
      dispatch.advance(std::chrono::milliseconds(1));
    }
  }

  std::unique_ptr<Device> a;
  std::unique_ptr<Device> b;
};

}  // namespace platform::testing
