#pragma once
// A full-width strip that tells the user something in one message: a red warning symbol for an
// error or the blue sync arrows otherwise, and the message as plain text, wrapped as it needs. The
// library's sync banner is one; why a save or a choice failed is told in one (makeFailureStrip,
// showFailure). A strip that stays until the user has read it gets a close button at its end
// (addCloseButton); the strip only reports the click, whoever shows it decides what follows.
//
// Main thread only.

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class QToolButton;

namespace velloran {

class ElidedLabel;
class SymbolView;

class NoticeStrip : public QWidget {
  Q_OBJECT

 public:
  explicit NoticeStrip(QWidget* parent = nullptr);

  void setNotice(const QString& message, bool isError);
  QString message() const;
  bool isError() const { return isError_; }
  SymbolView* symbol() const { return symbol_; }

  // Puts a close button (object name "closeNoticeButton", `name` its tooltip and accessible name)
  // at the strip's end; each click calls `onClose`. Once per strip.
  void addCloseButton(const QString& name, std::function<void()> onClose);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  SymbolView* symbol_;
  ElidedLabel* message_;
  QToolButton* close_ = nullptr;
  bool isError_ = false;
};

// The small grey circled cross that closes a strip or a hint, `name` its tooltip and accessible name.
QToolButton* makeCloseButton(const QString& name, QWidget* parent);

// A hidden error strip, object name "saveFailureBanner", for why a save or a choice failed.
NoticeStrip* makeFailureStrip(QWidget* parent);
// Shows why a save or a choice failed as an error in the strip, or hides the strip when there is
// nothing to say.
void showFailure(NoticeStrip& strip, const std::optional<std::string>& message);

}  // namespace velloran
