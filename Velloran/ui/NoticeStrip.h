#pragma once
// A full-width strip that tells the user something in one message: a red warning symbol for an
// error or the blue sync arrows otherwise, and the message as plain text, wrapped as it needs. The
// library's sync banner is one; why a save or a choice failed is told in one (makeFailureStrip,
// showFailure).
//
// Main thread only.

#include <QString>
#include <QWidget>
#include <optional>
#include <string>

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

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  SymbolView* symbol_;
  ElidedLabel* message_;
  bool isError_ = false;
};

// A hidden error strip, object name "saveFailureBanner", for why a save or a choice failed.
NoticeStrip* makeFailureStrip(QWidget* parent);
// Shows why a save or a choice failed as an error in the strip, or hides the strip when there is
// nothing to say.
void showFailure(NoticeStrip& strip, const std::optional<std::string>& message);

}  // namespace velloran
