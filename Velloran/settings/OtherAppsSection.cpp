#include "Velloran/settings/OtherAppsSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "Velloran/settings/AdaptiveGridLayout.h"
#include "Velloran/settings/ArtworkLoader.h"
#include "Velloran/settings/OtherAppCard.h"
#include "Velloran/settings/SettingsTexts.h"
#include "Velloran/ui/ActivityIndicator.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/ui/UiText.h"

namespace velloran {
namespace {

using Content = OtherAppsViewModel::Content;

constexpr int kSectionPadding = 16;
constexpr int kPlaceholderCount = 4;
constexpr int kSectionSymbolSize = 15;

QColor orangeColor() {
  return QColor(0xFF, 0x95, 0x00);
}

// The error box's panel: the control background in a rounded rectangle.
class ErrorBox final : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paintRoundedPanel(painter, rect(), 12, controlBackgroundColor(), Qt::transparent, 0);
  }
};

ElidedLabel* makeElidedText(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
  auto* label = new ElidedLabel(font, color, 0, parent);
  label->setText(text);
  return label;
}

}  // namespace

OtherAppsSection::OtherAppsSection(std::shared_ptr<OtherAppsViewModel> model,
                                   std::shared_ptr<ArtworkLoader> artwork, QWidget* parent)
    : GlassCard(16, GlassTint::whiteSheen(), parent),
      model_(std::move(model)),
      artwork_(std::move(artwork)),
      shownContent_(model_->content()) {
  setObjectName(QStringLiteral("otherAppsSection"));
  column_ = new QVBoxLayout(this);
  column_->setContentsMargins(kSectionPadding, kSectionPadding, kSectionPadding, kSectionPadding);
  column_->setSpacing(14);

  auto* header = new QHBoxLayout();
  auto* title = new QLabel(uiText(texts::kOtherAppsTitle), this);
  title->setTextFormat(Qt::PlainText);
  title->setFont(textFont(TextStyle::title3, QFont::DemiBold));
  header->addWidget(title);
  header->addStretch(1);
  activity_ = new ActivityIndicator(14, this);
  activity_->setObjectName(QStringLiteral("otherAppsActivity"));
  header->addWidget(activity_);
  column_->addLayout(header);

  column_->addWidget(makeElidedText(uiText(texts::kOtherAppsText), textFont(TextStyle::subheadline),
                                    secondaryLabelColor(), this));

  // The model outlives no section: the handler goes with the section (see the destructor).
  model_->setChangeHandler([this] { modelChanged(); });
  rebuildContent();
}

OtherAppsSection::~OtherAppsSection() {
  model_->setChangeHandler({});
}

bool OtherAppsSection::showsActivity() const {
  return !activity_->isHidden();
}

void OtherAppsSection::showEvent(QShowEvent* event) {
  GlassCard::showEvent(event);
  if (!event->spontaneous()) model_->appear();
}

void OtherAppsSection::modelChanged() {
  activity_->setVisible(model_->isLoading());
  // Cards are remade only when what they show changed, so their artwork is not fetched again
  // merely because a reload started.
  if (model_->content() == shownContent_ && model_->apps() == shownApps_ &&
      shownContent_ != Content::failed) {
    return;
  }
  rebuildContent();
}

void OtherAppsSection::rebuildContent() {
  activity_->setVisible(model_->isLoading());
  shownContent_ = model_->content();
  shownApps_ = model_->apps();
  if (content_) {
    // Deleted later: the change may come from a press inside the old content (the retry button).
    // Taken out of the section at once, so nothing finds it in the meantime.
    column_->removeWidget(content_);
    content_->hide();
    content_->setParent(nullptr);
    content_->deleteLater();
  }
  switch (shownContent_) {
    case Content::loaded:
      content_ = makeGrid(false);
      break;
    case Content::loading:
      content_ = makeGrid(true);
      break;
    case Content::failed:
      content_ = makeErrorBox();
      break;
    case Content::empty:
      content_ = makeEmptyText();
      break;
  }
  column_->addWidget(content_);
}

QWidget* OtherAppsSection::makeGrid(bool placeholders) {
  auto* grid = new QWidget(this);
  grid->setObjectName(placeholders ? QStringLiteral("otherAppsPlaceholders")
                                   : QStringLiteral("otherAppsGrid"));
  auto* layout = new AdaptiveGridLayout(kMinimumColumnWidth, kGridSpacing, grid);
  if (placeholders) {
    for (int index = 0; index < kPlaceholderCount; ++index) layout->addWidget(new PlaceholderAppCard(grid));
    return grid;
  }
  for (const AppStoreApp& app : model_->apps()) {
    const std::int64_t id = app.id;
    const bool openable = model_->storePageURL(id).has_value();
    // The model is held weakly: a press delivered while the sheet closes finds it gone.
    layout->addWidget(new OtherAppCard(
        app, openable, *artwork_,
        [weakModel = std::weak_ptr<OtherAppsViewModel>(model_), id] {
          if (const auto model = weakModel.lock()) model->openStorePage(id);
        },
        grid));
  }
  return grid;
}

QWidget* OtherAppsSection::makeErrorBox() {
  auto* box = new ErrorBox(this);
  box->setObjectName(QStringLiteral("otherAppsErrorBox"));
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(12, 12, 12, 12);
  column->setSpacing(8);

  auto* message = new QHBoxLayout();
  message->setSpacing(6);
  message->addWidget(
      new SymbolView(QStringLiteral("exclamationmark.triangle"), kSectionSymbolSize, orangeColor(), box), 0,
      Qt::AlignTop);
  auto* text = makeElidedText(QString::fromStdString(model_->errorMessage().value_or(std::string())),
                              textFont(TextStyle::subheadline), orangeColor(), box);
  text->setObjectName(QStringLiteral("otherAppsErrorMessage"));
  message->addWidget(text, 1);
  column->addLayout(message);

  auto* retry = new QPushButton(withoutMnemonic(uiText(kOtherAppsRetryTitle)), box);
  retry->setObjectName(QStringLiteral("otherAppsRetryButton"));
  retry->setAutoDefault(false);
  retry->setFlat(true);
  retry->setCursor(Qt::PointingHandCursor);
  retry->setFont(textFont(TextStyle::subheadline, QFont::DemiBold));
  retry->setIcon(symbolIcon(QStringLiteral("arrow.counterclockwise"), accentBlueColor()));
  retry->setIconSize(QSize(kSectionSymbolSize, kSectionSymbolSize));
  retry->setStyleSheet(
      QStringLiteral("QPushButton { color: %1; border: none; padding: 2px 0; text-align: left; }")
          .arg(styleSheetColor(accentBlueColor())));
  connect(retry, &QPushButton::clicked, this, [weakModel = std::weak_ptr<OtherAppsViewModel>(model_)] {
    if (const auto model = weakModel.lock()) model->load();
  });
  column->addWidget(retry, 0, Qt::AlignLeft);
  return box;
}

QWidget* OtherAppsSection::makeEmptyText() {
  auto* text = makeElidedText(uiText(kOtherAppsEmptyText), textFont(TextStyle::subheadline),
                              secondaryLabelColor(), this);
  text->setObjectName(QStringLiteral("otherAppsEmptyText"));
  return text;
}

}  // namespace velloran
