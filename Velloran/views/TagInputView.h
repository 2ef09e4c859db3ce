#pragma once
// The tag input of the create sheet and the editor: the chosen tags as chips (remove button; a
// double click takes a chip back into the field), a borderless field flowing after them in wrapping
// lines, and below, while something is typed, a row of suggested tags. The rules live in
// TagInputModel; this widget shows its state and feeds it the user's input.
//
// The view keeps the caller's tag list: setTags() replaces it (without reporting back), and every
// change the user makes is reported through the tags-changed callback, once per write (an added
// tag, a removal). Return in the field commits what was typed and goes no further: it never
// reaches a button of the surrounding sheet.
//
// Keyboard, while suggestions are shown: Down and Up move the highlight through them, Return takes
// the highlighted one, Escape drops the highlight, and Tab takes the highlighted suggestion (the
// first when none is) instead of leaving the field; with no suggestions shown, Tab moves on as
// usual.
//
// Main thread only.

#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/views/TagInputModel.h"

class QHBoxLayout;
class QKeyEvent;
class QScrollArea;

namespace velloran {

class EditableTagChip;
class TagSuggestionButton;
class TagWrapLayout;

class TagInputView final : public QWidget {
  Q_OBJECT

 public:
  TagInputView(const QString& placeholder, std::vector<std::string> suggestions,
               int minimumCharactersForSuggestions, int maxSuggestionCount, QWidget* parent = nullptr);

  const std::vector<std::string>& tags() const { return tags_; }
  void setTags(std::vector<std::string> tags);
  void setSuggestions(std::vector<std::string> suggestions);
  void setOnTagsChanged(std::function<void(const std::vector<std::string>&)> onTagsChanged);

  TagInputModel& model() { return model_; }
  QLineEdit* field() const { return field_; }
  // The chips and suggestion buttons now shown, in order.
  QList<EditableTagChip*> chips() const;
  QList<TagSuggestionButton*> suggestionButtons() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Field;

  // Brings the widgets in line with the model.
  void showModelState();
  void showChips();
  void showSuggestions();
  // A key pressed in the field that steers the suggestions; true when it was used.
  bool steerSuggestions(const QKeyEvent& key);
  void showHighlight(const std::optional<std::string>& highlight);

  std::vector<std::string> tags_;
  std::function<void(const std::vector<std::string>&)> onTagsChanged_;
  TagInputModel model_;
  QLineEdit* field_ = nullptr;
  QWidget* flow_ = nullptr;
  TagWrapLayout* flowLayout_ = nullptr;
  QScrollArea* suggestionRow_ = nullptr;
  QHBoxLayout* suggestionLayout_ = nullptr;
  std::vector<std::string> shownChips_;
  std::vector<std::string> shownSuggestions_;
  std::optional<std::string> shownHighlight_;
};

}  // namespace velloran
