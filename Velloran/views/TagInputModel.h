#pragma once
// The rules of the tag input, free of widgets: how typed text becomes tags, how chips are removed
// and re-edited, and which suggestions are offered.
//
// The tag list belongs to the caller (the create sheet's form, the editor's edit state); the model
// reads it through `Binding::get` before every change and writes the whole list back through
// `Binding::set`: one write per added tag, one per removal, however many equal tags it removes.
// The model's own state is the text being typed and whether the field has the keyboard focus.
//
// Typing: the field's text is split at separators (white space, line breaks, ","). A tag is
// committed when a separator is typed, when a paste holds two or more tags, and on Return; a tag
// whose lower-case form is already listed (canonically equivalent spellings count as one) is skipped.
// Suggestions are the caller's candidates that contain what is being typed (prefix matches first), once the
// fragment has the minimum length. One of them can be highlighted from the keyboard (Down and Up);
// Return then takes it instead of the typed text. Typing, or losing the focus, clears the highlight.
//
// `onChange`, when set, is called after every change of the text, the focus or the tag list made by
// the model, so a view can show the new state. Main thread only.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloran {

class TagInputModel {
 public:
  struct Binding {
    std::function<std::vector<std::string>()> get;
    std::function<void(std::vector<std::string>)> set;
  };

  // A negative `maxSuggestionCount` counts as 0: no suggestions at all.
  TagInputModel(Binding tags, std::vector<std::string> suggestions, int minimumCharactersForSuggestions,
                int maxSuggestionCount);

  void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  std::vector<std::string> tags() const { return tags_.get(); }
  const std::vector<std::string>& suggestions() const { return suggestions_; }
  void setSuggestions(std::vector<std::string> suggestions);
  int minimumCharactersForSuggestions() const { return minimumCharacters_; }
  int maxSuggestionCount() const { return maxSuggestions_; }

  const std::string& inputText() const { return inputText_; }
  // A new text in the field. When it differs from the current one, handleInputChange runs on it.
  void setInputText(std::string text);
  bool isFocused() const { return focused_; }
  void setFocused(bool focused);

  // The last piece of the text between separators (empty pieces counted), trimmed.
  std::string currentFragment() const;
  std::vector<std::string> filteredSuggestions() const;

  // Appends the trimmed tag unless it is empty or its lower-case form is already listed (compared
  // canonically composed).
  void addTag(std::string_view tag);
  // Commits `parts` (all of them, or all but the last when not `includingLast`); then the field holds
  // nothing, or the last part as the tag still being typed.
  void commitTags(const std::vector<std::string>& parts, bool includingLast);
  // Runs after each change of the field's text, with the new text.
  void handleInputChange(const std::string& text);
  // Return: commits everything in the field.
  void commitInput();
  // Removes every tag that equals `label` ignoring case.
  void removeTag(std::string_view label);
  // Takes a chip back into the field for editing.
  void editTag(std::string_view label);
  // Adds a suggestion and drops whatever fragment was typed.
  void selectSuggestion(std::string_view suggestion);

  // The highlighted suggestion, while it is among those offered.
  std::optional<std::string> highlightedSuggestion() const;
  // Moves the highlight `step` places down the offered suggestions (negative: up). From none, down
  // reaches the first; up from the first goes back to none; down stays on the last.
  void moveHighlight(int step);
  void clearHighlight();
  // Takes the highlighted suggestion (selectSuggestion); false when none is highlighted.
  bool takeHighlightedSuggestion();

 private:
  void changed();

  Binding tags_;
  std::vector<std::string> suggestions_;
  int minimumCharacters_;
  int maxSuggestions_;
  std::string inputText_;
  bool focused_ = false;
  std::optional<std::string> highlighted_;
  std::function<void()> onChange_;
};

// Whether `scalar` separates tags: any white space or line break, or ",".
bool isTagSeparator(char32_t scalar);
// The pieces of `text` between separators, empty ones included.
std::vector<std::string> tagParts(std::string_view text);
// The same without the empty pieces.
std::vector<std::string> nonEmptyTagParts(std::string_view text);

}  // namespace velloran
