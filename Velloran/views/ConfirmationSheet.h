#pragma once
// A confirmation shown in the window's sheet host: a question, a destructive button and a cancel
// button (object names "confirmationDestructiveButton" and "confirmationCancelButton"). Neither
// button is a default button, so Return confirms nothing; Escape cancels like the cancel button.
//
// Main thread only.

#include <QWidget>
#include <functional>

class QPushButton;

namespace velloran {

class SheetHost;

class ConfirmationSheet final : public QWidget {
  Q_OBJECT

 public:
  ConfirmationSheet(const QString& question, const QString& destructiveText, const QString& cancelText,
                    QWidget* parent = nullptr);

  QPushButton* destructiveButton() const { return destructive_; }
  QPushButton* cancelButton() const { return cancel_; }

  // Presents the question in `host`: the destructive button runs `onConfirm` and closes the sheet;
  // the cancel button, Escape and any other dismissal run `onCancel`.
  static void present(SheetHost& host, const QString& question, const QString& destructiveText,
                      const QString& cancelText, std::function<void()> onConfirm,
                      std::function<void()> onCancel);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPushButton* destructive_;
  QPushButton* cancel_;
};

}  // namespace velloran
