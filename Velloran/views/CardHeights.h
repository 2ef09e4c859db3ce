#pragma once
// The heights of prompt cards, measured once for a prompt's texts and a width and kept. A card's
// height follows from its title, its latest version's text and whether it has tags; each prompt's
// heights are kept for the last two widths it was measured at (the grid's scroll bar coming and
// going switches between two).
//
// Made for listings of thousands of prompts laid out on every keystroke: a prompt listed again as
// the same shared value (PromptList.h) is found by that value alone, without hashing its id or
// comparing its texts; a new value of a prompt is compared by its texts once, and measured again
// only when they changed. A listing is looked up as a whole, in step with the widest listing looked
// up before it: a search narrows the library's listing without changing its order, so its prompts
// are found by walking the two lists side by side rather than one by one.
//
// What is kept for values gone (no listing holds them any longer) is cleared from time to time, at a
// constant share of the remembering; the texts of a prompt none of whose values is left go with them.
//
// Main thread only, like the grid it serves.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Velloran/data/PromptList.h"
#include "platform/identity/UUID.h"

namespace velloran {

class CardHeights {
 public:
  // How tall a card of the prompt is at a width.
  using Measure = std::function<int(const Prompt& prompt, int width)>;

  explicit CardHeights(Measure measure);

  // The heights kept for the listed prompts' texts at `width`, in the listing's order; none for a
  // prompt not measured at that width.
  std::vector<std::optional<int>> known(const PromptList& listing, int width);
  // The kept height, else measured now and kept.
  int heightOf(const SharedPrompt& prompt, int width);
  // The height of a card like the prompt's with one line of title and, when it has one, of
  // preview: a stand-in until the prompt is measured.
  int estimate(const Prompt& prompt, int width);

 private:
  struct Heights {
    std::array<std::pair<int, int>, 2> byWidth{{{-1, 0}, {-1, 0}}};  // most recent first

    std::optional<int> at(int width) const;
    void add(int width, int height);
  };
  // What was measured for a prompt's texts, by the prompt's id, while a value of it is kept.
  struct MeasuredTexts {
    std::string title;
    std::string latestText;
    bool hasTags = false;
    Heights heights;

    bool describe(const Prompt& prompt) const;
  };
  // One shared value of a prompt. Its owner, held weakly, names that value alone even after it is
  // gone, so an entry found by address is the value's own only when the owner is the same.
  struct ListedValue {
    std::weak_ptr<const Prompt> owner;
    Heights heights;
  };

  // The prompt value's entry, if kept.
  ListedValue* listed(const SharedPrompt& prompt);
  // The listing's entries (null where none is kept), found in step with reference_ as far as the
  // listing follows its order, otherwise one by one. A listing not wholly found so becomes the new
  // reference.
  std::vector<const ListedValue*> listed(const PromptList& listing);
  // The prompt value's entry, made when missing with what is known for its texts.
  ListedValue& listedOrNew(const SharedPrompt& prompt);
  ListedValue& remember(const SharedPrompt& prompt, Heights heights);
  void forgetValuesGone();

  Measure measure_;
  std::unordered_map<platform::UUID, MeasuredTexts> byId_;
  std::unordered_map<const Prompt*, ListedValue> byValue_;
  // The widest listing looked up lately, with its entries: it holds its prompts, so their entries
  // stay.
  PromptList reference_;
  std::vector<const ListedValue*> referenceEntries_;
  std::size_t clearingAt_;  // the number of entries at which those of values gone are cleared
  // Estimates at estimatesWidth_, by whether the card has a preview and tags.
  std::array<std::array<int, 2>, 2> estimates_{{{-1, -1}, {-1, -1}}};
  int estimatesWidth_ = -1;
};

}  // namespace velloran
