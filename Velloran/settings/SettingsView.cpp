#include "Velloran/settings/SettingsView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

#include "Velloran/services/OtherAppsCatalog.h"
#include "Velloran/settings/BoolPreferenceBinding.h"
#include "Velloran/settings/OtherAppsSection.h"
#include "Velloran/settings/SettingsTexts.h"
#include "Velloran/settings/SheetChrome.h"
#include "Velloran/settings/ToggleSwitch.h"
#include "Velloran/ui/Buttons.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/GlassCard.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/ui/UiText.h"

namespace velloran {
namespace {

constexpr int kAlertMessageWidth = 280;

// An alert in the look of the application: the title in bold headline type above a smaller,
// secondary message on the light surface of the window's sheets, and one prominent button.
void styleAlert(QMessageBox& alert, QPushButton& button) {
  QPalette palette = alert.palette();
  palette.setColor(QPalette::Window, controlBackgroundColor());
  palette.setColor(QPalette::WindowText, primaryLabelColor());
  alert.setPalette(palette);
  alert.setAutoFillBackground(true);
  if (auto* title = alert.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    title->setFont(textFont(TextStyle::headline, QFont::Bold));
  }
  if (auto* message = alert.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
    message->setFont(textFont(TextStyle::subheadline));
    QPalette secondary = message->palette();
    secondary.setColor(QPalette::WindowText, secondaryLabelColor());
    message->setPalette(secondary);
    message->setMinimumWidth(kAlertMessageWidth);
  }
  styleProminentButton(button, accentBlueColor());
}

// The platform's default padding, around the column and inside each card.
constexpr int kSettingsPadding = 16;
constexpr int kSettingsSymbolSize = 16;

QString symbolForConsent(bool enabled) {
  return enabled ? QStringLiteral("checkmark.shield") : QStringLiteral("xmark.shield");
}

GlassCard* makeCard(qreal cornerRadius, int spacing, QWidget* parent, QVBoxLayout*& column) {
  auto* card = new GlassCard(cornerRadius, GlassTint::whiteSheen(), parent);
  column = new QVBoxLayout(card);
  column->setContentsMargins(kSettingsPadding, kSettingsPadding, kSettingsPadding, kSettingsPadding);
  column->setSpacing(spacing);
  return card;
}

QLabel* makeCardTitle(const char* text, QWidget* parent) {
  auto* title = new QLabel(uiText(text), parent);
  title->setTextFormat(Qt::PlainText);
  title->setFont(textFont(TextStyle::title3, QFont::DemiBold));
  return title;
}

ElidedLabel* makeExplanation(const char* text, QWidget* parent) {
  auto* label = new ElidedLabel(textFont(TextStyle::subheadline), secondaryLabelColor(), 0, parent);
  label->setText(uiText(text));
  return label;
}

}  // namespace

SettingsView::SettingsView(SettingsEnvironment environment, std::function<void()> dismiss, QWidget* parent)
    : SheetSurface(parent), environment_(std::move(environment)), dismiss_(std::move(dismiss)) {
  setObjectName(QStringLiteral("settingsSheet"));
  analyticsEnabled_ = std::make_unique<BoolPreferenceBinding>(
      environment_.defaults, kAnalyticsEnabledKey, kAnalyticsEnabledWithoutChoice,
      [this](bool enabled) { consentChanged(enabled); });

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  header_ =
      new SheetHeader(QString(), uiText(texts::kSettingsDone), QStringLiteral("settingsDoneButton"), this);
  outer->addWidget(header_);
  connect(header_->cancelButton(), &QPushButton::clicked, this, [this] {
    // A copy: the presenter may destroy this sheet, and with it dismiss_, while the action runs.
    const std::function<void()> action = dismiss_;
    action();
  });

  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("settingsScrollArea"));
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // A slim overlay-style bar: the toolkit's boxed bar would cut a white strip out of the gradient.
  scroll_->verticalScrollBar()->setStyleSheet(QStringLiteral(
      "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
      "QScrollBar::handle:vertical { background: rgba(0, 0, 0, 0.28); border-radius: 4px; min-height: 28px; }"
      "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
      "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
  // The gradient lies behind everything: the scroll area, its viewport and its page stay transparent.
  scroll_->setAutoFillBackground(false);
  scroll_->viewport()->setAutoFillBackground(false);
  outer->addWidget(scroll_, 1);

  auto* page = new QWidget(scroll_);
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(kSettingsPadding, kSettingsPadding, kSettingsPadding, kSettingsPadding);
  column->setSpacing(18);

  auto* title = new QLabel(uiText(texts::kSettingsTitle), page);
  title->setTextFormat(Qt::PlainText);
  title->setFont(textFont(TextStyle::largeTitle, QFont::Bold));
  title->setContentsMargins(0, 6, 0, 0);
  column->addWidget(title);
  column->addWidget(makeReviewCard());
  column->addWidget(makeHintCard());
  otherApps_ = new OtherAppsSection(OtherAppsViewModel::make(otherAppIDs(), environment_.appDirectory,
                                                             environment_.workspace, environment_.analytics),
                                    environment_.artwork, page);
  column->addWidget(otherApps_);
  column->addWidget(makePrivacyCard());
  column->addStretch(1);
  scroll_->setWidget(page);
  // setWidget fills the page's background; the gradient must show through it.
  page->setAutoFillBackground(false);
}

SettingsView::~SettingsView() = default;

QPushButton* SettingsView::doneButton() const {
  return header_->cancelButton();
}

QMessageBox* SettingsView::missingReviewLinkAlert() const {
  return alert_ && alert_->isVisible() ? alert_ : nullptr;
}

void SettingsView::showEvent(QShowEvent* event) {
  SheetSurface::showEvent(event);
  if (!event->spontaneous()) consent().apply();
}

QWidget* SettingsView::makeReviewCard() {
  QVBoxLayout* column = nullptr;
  GlassCard* card = makeCard(16, 12, this, column);
  card->setObjectName(QStringLiteral("reviewCard"));
  column->addWidget(makeCardTitle(texts::kReviewCardTitle, card));
  column->addWidget(makeExplanation(texts::kReviewCardText, card));
  writeReview_ =
      makeBorderedButton(uiText(texts::kReviewButton), QStringLiteral("square.and.arrow.up"), card);
  writeReview_->setObjectName(QStringLiteral("writeReviewButton"));
  connect(writeReview_, &QPushButton::clicked, this, [this] { writeReview(); });
  column->addWidget(writeReview_);
  return card;
}

QWidget* SettingsView::makeHintCard() {
  QVBoxLayout* column = nullptr;
  GlassCard* card = makeCard(14, 10, this, column);
  card->setObjectName(QStringLiteral("hintCard"));
  auto* row = new QHBoxLayout();
  row->setSpacing(8);
  row->addWidget(
      new SymbolView(QStringLiteral("hand.thumbsup"), kSettingsSymbolSize, secondaryLabelColor(), card), 0,
      Qt::AlignTop);
  row->addWidget(makeExplanation(texts::kHintCardText, card), 1);
  column->addLayout(row);
  return card;
}

QWidget* SettingsView::makePrivacyCard() {
  QVBoxLayout* column = nullptr;
  GlassCard* card = makeCard(16, 12, this, column);
  card->setObjectName(QStringLiteral("privacyCard"));
  column->addWidget(makeCardTitle(texts::kPrivacyCardTitle, card));
  column->addWidget(makeExplanation(texts::kPrivacyCardText, card));

  const bool enabled = analyticsEnabled_->value();
  auto* row = new QHBoxLayout();
  row->setSpacing(8);
  toggleSymbol_ =
      new SymbolView(symbolForConsent(enabled), kSettingsSymbolSize + 2, primaryLabelColor(), card);
  toggleSymbol_->setObjectName(QStringLiteral("analyticsToggleSymbol"));
  row->addWidget(toggleSymbol_);
  auto* label = new QLabel(uiText(texts::kAnalyticsToggle), card);
  label->setTextFormat(Qt::PlainText);
  label->setFont(textFont(TextStyle::body));
  row->addWidget(label, 1);
  toggle_ = new ToggleSwitch(card);
  toggle_->setObjectName(QStringLiteral("analyticsToggle"));
  toggle_->setAccessibleName(uiText(texts::kAnalyticsToggle));
  toggle_->setChecked(enabled);
  label->setBuddy(toggle_);
  // The switch forwards the click; the stored change comes back through the binding to be shown.
  // A choice that could not be stored is told under it until one is.
  connect(toggle_, &QAbstractButton::toggled, this,
          [this](bool on) { showFailure(*choiceFailure_, consent().choose(on)); });
  row->addWidget(toggle_);
  column->addLayout(row);
  choiceFailure_ = makeFailureStrip(card);
  column->addWidget(choiceFailure_);
  return card;
}

void SettingsView::writeReview() {
  if (!environment_.reviewManager.writeReviewURL()) {
    showMissingReviewLink();
    return;
  }
  environment_.reviewManager.openWriteReviewPage();
}

void SettingsView::showMissingReviewLink() {
  if (!alert_) {
    // The title leads in bold inside the box too: a window title alone is easy to miss.
    alert_ = new QMessageBox(QMessageBox::NoIcon, uiText(texts::kMissingReviewLinkTitle),
                             uiText(texts::kMissingReviewLinkTitle), QMessageBox::NoButton, this);
    alert_->setObjectName(QStringLiteral("missingReviewLinkAlert"));
    alert_->setTextFormat(Qt::PlainText);
    alert_->setInformativeText(uiText(texts::kMissingReviewLinkMessage));
    QPushButton* ok = alert_->addButton(uiText(texts::kOK), QMessageBox::RejectRole);
    ok->setObjectName(QStringLiteral("missingReviewLinkOK"));
    alert_->setDefaultButton(ok);
    alert_->setWindowModality(Qt::WindowModal);
    styleAlert(*alert_, *ok);
  }
  alert_->open();
}

void SettingsView::consentChanged(bool enabled) {
  // A change before the switch exists is shown by the switch when it is made, from the stored value.
  if (toggle_ == nullptr) return;
  showConsent(enabled);
}

AnalyticsConsent SettingsView::consent() const {
  return AnalyticsConsent(environment_.defaults, environment_.analytics);
}

void SettingsView::showConsent(bool enabled) {
  toggleSymbol_->setSymbol(symbolForConsent(enabled), primaryLabelColor());
  // Follows changes written elsewhere; setting the same state emits nothing.
  toggle_->setChecked(enabled);
}

}  // namespace velloran
