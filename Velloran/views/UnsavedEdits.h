#pragma once
// What an editor could not store, kept per prompt by the library window until an editor for that
// prompt opens again. Leaving an editor whose save failed (a full disk, say) must not lose what was
// typed: the next editor for the prompt starts from these values and tries to store them again.
// Only while the window lives; nothing here touches the disk.
//
// Main thread only.

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Velloran/data/PromptType.h"
#include "platform/identity/UUID.h"

namespace velloran {

struct UnsavedEdit {
  std::string title;
  std::vector<std::string> tags;
  PromptType type = PromptType::system;
  // Empty when the text was stored (or never changed).
  std::string text;
  // The editor's last save had failed.
  bool saveFailed = false;

  // Whether ending the application would lose it: title, tags and type still waiting for their
  // automatic save are stored as the application ends, a text or a failed edit is not.
  bool isLostAtQuit() const { return !text.empty() || saveFailed; }
};

class UnsavedEdits {
 public:
  // Replaces what was kept for the prompt.
  void keep(const platform::UUID& promptId, UnsavedEdit edit) { edits_[promptId] = std::move(edit); }
  bool holdsInputLostAtQuit() const {
    for (const auto& [id, edit] : edits_) {
      if (edit.isLostAtQuit()) return true;
    }
    return false;
  }
  // What was kept for the prompt, handed over once.
  std::optional<UnsavedEdit> take(const platform::UUID& promptId) {
    const auto found = edits_.find(promptId);
    if (found == edits_.end()) return std::nullopt;
    UnsavedEdit edit = std::move(found->second);
    edits_.erase(found);
    return edit;
  }

 private:
  std::unordered_map<platform::UUID, UnsavedEdit> edits_;
};

}  // namespace velloran
