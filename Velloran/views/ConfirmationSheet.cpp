#include "Velloran/views/ConfirmationSheet.h"

#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "Velloran/ui/Buttons.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/SheetHost.h"

namespace velloran {
namespace {

constexpr int kWidth = 300;
constexpr int kConfirmationPadding = 20;
constexpr qreal kSheetCornerRadius = 12;

}  // namespace

ConfirmationSheet::ConfirmationSheet(const QString& question, const QString& destructiveText,
                                     const QString& cancelText, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("confirmationSheet"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(kConfirmationPadding, kConfirmationPadding, kConfirmationPadding,
                             kConfirmationPadding);
  column->setSpacing(10);
  auto* title = new ElidedLabel(textFont(TextStyle::headline), primaryLabelColor(), 0, this);
  title->setText(question);
  title->setAlignment(Qt::AlignHCenter);
  column->addWidget(title);
  column->addSpacing(6);
  destructive_ = makeButton(destructiveText, this);
  destructive_->setObjectName(QStringLiteral("confirmationDestructiveButton"));
  styleProminentButton(*destructive_, destructiveRedColor());
  column->addWidget(destructive_);
  cancel_ = makeButton(cancelText, this);
  cancel_->setObjectName(QStringLiteral("confirmationCancelButton"));
  styleBorderedButton(*cancel_);
  column->addWidget(cancel_);
}

void ConfirmationSheet::present(SheetHost& host, const QString& question, const QString& destructiveText,
                                const QString& cancelText, std::function<void()> onConfirm,
                                std::function<void()> onCancel) {
  auto* sheet = new ConfirmationSheet(question, destructiveText, cancelText);
  // Whichever way the sheet goes, exactly one of the two answers is given.
  auto confirmed = std::make_shared<bool>(false);
  QPointer<SheetHost> guardedHost(&host);
  connect(sheet->destructive_, &QPushButton::clicked, sheet, [guardedHost, confirmed, onConfirm] {
    *confirmed = true;
    if (guardedHost != nullptr) guardedHost->dismiss();
    if (onConfirm) onConfirm();
  });
  connect(sheet->cancel_, &QPushButton::clicked, sheet, [guardedHost] {
    if (guardedHost != nullptr) guardedHost->dismiss();
  });
  host.present(sheet, [confirmed, onCancel = std::move(onCancel)] {
    if (!*confirmed && onCancel) onCancel();
  });
  sheet->cancel_->setFocus(Qt::OtherFocusReason);
}

QSize ConfirmationSheet::sizeHint() const {
  return {kWidth, layout()->totalHeightForWidth(kWidth)};
}

void ConfirmationSheet::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintRoundedPanel(painter, rect(), kSheetCornerRadius, controlBackgroundColor(), blackAt(0.08), 1);
}

}  // namespace velloran
