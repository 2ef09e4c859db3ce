#include "Velloran/settings/AnalyticsConsentView.h"

#include <QLabel>
#include <QVBoxLayout>

#include "Velloran/settings/SettingsTexts.h"
#include "Velloran/settings/SheetChrome.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/ui/UiText.h"

namespace velloran {
namespace {

// The platform's default padding around a sheet's content.
constexpr int kConsentPadding = 20;

QLabel* makeConsentText(const char* text, const QFont& font, const QColor& color, QWidget* parent) {
  auto* label = new QLabel(uiText(text), parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  return label;
}

}  // namespace

AnalyticsConsentView::AnalyticsConsentView(ConsentSetter setConsent, std::function<void()> onDismiss,
                                           QWidget* parent)
    : SheetSurface(parent), setConsent_(std::move(setConsent)), onDismiss_(std::move(onDismiss)) {
  setObjectName(QStringLiteral("analyticsConsentSheet"));

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  header_ = new SheetHeader(uiText(texts::kConsentTitle), uiText(texts::kConsentClose),
                            QStringLiteral("analyticsConsentClose"), this);
  outer->addWidget(header_);

  auto* column = new QVBoxLayout();
  column->setContentsMargins(kConsentPadding, kConsentPadding / 2, kConsentPadding, kConsentPadding);
  column->setSpacing(18);
  outer->addLayout(column, 1);

  column->addWidget(makeConsentText(texts::kConsentHeading, textFont(TextStyle::title2, QFont::DemiBold),
                                    primaryLabelColor(), this));
  column->addWidget(makeConsentText(texts::kConsentExplanation, textFont(TextStyle::subheadline),
                                    secondaryLabelColor(), this));

  auto* choices = new QVBoxLayout();
  choices->setSpacing(12);
  accept_ = makeProminentButton(uiText(texts::kConsentAccept), QStringLiteral("checkmark.circle.fill"), this);
  accept_->setObjectName(QStringLiteral("analyticsConsentAccept"));
  decline_ = makeBorderedButton(uiText(texts::kConsentDecline), QStringLiteral("xmark.circle"), this);
  decline_->setObjectName(QStringLiteral("analyticsConsentDecline"));
  choices->addWidget(accept_);
  choices->addWidget(decline_);
  column->addLayout(choices);

  failure_ = makeFailureStrip(this);
  column->addWidget(failure_);

  column->addStretch(1);
  column->addWidget(
      makeConsentText(texts::kConsentFootnote, textFont(TextStyle::footnote), secondaryLabelColor(), this));

  connect(accept_, &QPushButton::clicked, this, [this] { choose(true); });
  connect(decline_, &QPushButton::clicked, this, [this] { choose(false); });
  connect(header_->cancelButton(), &QPushButton::clicked, this, [this] { dismiss(); });
}

QPushButton* AnalyticsConsentView::closeButton() const {
  return header_->cancelButton();
}

void AnalyticsConsentView::choose(bool consent) {
  const std::optional<std::string> failure = setConsent_(consent);
  showFailure(*failure_, failure);
  if (!failure) dismiss();
}

void AnalyticsConsentView::dismiss() {
  // A copy: the presenter may destroy this sheet, and with it onDismiss_, while the action runs.
  const std::function<void()> action = onDismiss_;
  action();
}

}  // namespace velloran
