#pragma once
// Parts of the library window that are only pictures and buttons:
//  - EmptyLibraryCard: "Noch keine Prompts", the invitation and the button "Prompt anlegen"
//    (object name "emptyStateCreatePromptButton"), on a glass card centred in its space.
//  - UsageHint: the hand symbol, the usage hint (at most 3 lines) and a close button (object name
//    "hintCloseButton").
//  - AddPromptButton: the round floating "+" (object name "addPromptButton").
// Each reports its button through a callback. Main thread only.

#include <QAbstractButton>
#include <QWidget>
#include <functional>

class QPushButton;
class QToolButton;

namespace velloran {

class EmptyLibraryCard final : public QWidget {
  Q_OBJECT

 public:
  EmptyLibraryCard(std::function<void()> onCreate, QWidget* parent = nullptr);
  QPushButton* createButton() const { return create_; }

 private:
  QPushButton* create_;
};

class UsageHint final : public QWidget {
  Q_OBJECT

 public:
  UsageHint(std::function<void()> onClose, QWidget* parent = nullptr);
  QToolButton* closeButton() const { return close_; }

 private:
  QToolButton* close_;
};

class AddPromptButton final : public QAbstractButton {
  Q_OBJECT

 public:
  explicit AddPromptButton(QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace velloran
