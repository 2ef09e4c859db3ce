#pragma once
// The library window's filter menu, rebuilt from the current state each time it opens:
//  - "Filter zurücksetzen", only while a type or a tag is chosen;
//  - the section "Art": "Alle Typen", then "System" and "User" (never "Custom Role"), the chosen
//    one checked, its check mark drawn after the name at the trailing edge;
//  - the section "Tags", only when there are tags to list (LibraryFilter.h, filterMenuTags):
//    "Alle Tags" while tags are chosen, then one entry per tag, chosen ones checked.
// Entries show tags as written: "&" never becomes a mnemonic. A tag too long for the menu is cut
// at its end with "…" (at most kWidestLabel pixels, less in a narrow window), so the menu stays
// inside the window and each check mark stays near its name; the entry still chooses the whole tag.
// What an entry does is the window's business: the menu reports the choice through its callbacks.
//
// Main thread only.

#include <QMenu>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/PromptFilter.h"
#include "Velloran/data/PromptValues.h"

namespace velloran {

class FilterMenu final : public QMenu {
  Q_OBJECT

 public:
  struct State {
    std::optional<PromptType> selectedType;
    TagSet selectedTags;
    std::vector<std::string> listedTags;
  };
  struct Choices {
    std::function<void()> reset;
    std::function<void(std::optional<PromptType>)> chooseType;
    std::function<void()> clearTags;
    std::function<void(const std::string&)> toggleTag;
  };

  FilterMenu(std::function<State()> state, Choices choices, QWidget* parent = nullptr);

  static constexpr int kWidestLabel = 280;

  // Builds the entries from the state now; also done each time the menu opens.
  void rebuild();
  // The widest an entry's name may be: kWidestLabel, or less so the menu fits `windowWidth`.
  static int labelWidthFor(int windowWidth);

 private:
  std::function<State()> state_;
  Choices choices_;
};

}  // namespace velloran
