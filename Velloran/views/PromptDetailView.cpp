#include "Velloran/views/PromptDetailView.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "Velloran/ui/Buttons.h"
#include "Velloran/ui/Chips.h"
#include "Velloran/ui/ElidedLabel.h"
#include "Velloran/ui/GlassCard.h"
#include "Velloran/ui/Materials.h"
#include "Velloran/ui/NoticeStrip.h"
#include "Velloran/ui/SegmentedPicker.h"
#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/SystemColors.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ConfirmationSheet.h"
#include "Velloran/views/FormFields.h"
#include "Velloran/views/TagInputView.h"
#include "Velloran/views/ViewTexts.h"
#include "platform/text/DateTexts.h"

namespace velloran {
namespace {

constexpr int kDetailPadding = 16;
constexpr int kOlderVersionLines = 4;

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  label->setFont(font);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  return label;
}

// Places a form card in the page's column, 4 apart from its neighbours.
FormCard placeCard(QVBoxLayout* column, FormCard card) {
  column->addSpacing(4);
  column->addWidget(card.card);
  column->addSpacing(4);
  return card;
}

// The fold button of the older versions: the count, the hint and a chevron on a rounded panel.
class FoldButton final : public QAbstractButton {
 public:
  FoldButton(std::size_t count, bool unfolded, QWidget* parent) : QAbstractButton(parent) {
    setObjectName(QStringLiteral("olderVersionsToggle"));
    setCursor(Qt::PointingHandCursor);
    const QString countText = PromptDetailView::olderVersionsCountText(count);
    setAccessibleName(countText);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kDetailPadding, kDetailPadding, kDetailPadding, kDetailPadding);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto* countLabel =
        new ElidedLabel(textFont(TextStyle::subheadline, QFont::DemiBold), primaryLabelColor(), 1, this);
    countLabel->setText(countText);
    texts->addWidget(countLabel);
    auto* hint = new ElidedLabel(textFont(TextStyle::footnote), secondaryLabelColor(), 1, this);
    hint->setText(uiText(unfolded ? texts::kTapToHide : texts::kTapToShow));
    texts->addWidget(hint);
    row->addLayout(texts, 1);
    row->addWidget(new SymbolView(
        unfolded ? QStringLiteral("chevron.up.circle.fill") : QStringLiteral("chevron.down.circle.fill"),
        QFontMetrics(textFont(TextStyle::title3)).height(), secondaryLabelColor(), this));
    for (QWidget* child : findChildren<QWidget*>()) child->setAttribute(Qt::WA_TransparentForMouseEvents);
  }

  QSize sizeHint() const override { return layout()->sizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paintRoundedPanel(painter, rect(), 12, controlBackgroundColor(), whiteAt(0.1), 1);
  }
};

// One older version: its number, its date and up to four lines of its text.
class OlderVersionRow final : public QWidget {
 public:
  OlderVersionRow(const PromptVersion& version, std::function<void()> copy, QWidget* parent)
      : QWidget(parent), copy_(std::move(copy)) {
    setObjectName(QStringLiteral("olderVersionRow"));
    setCursor(Qt::PointingHandCursor);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kDetailPadding, kDetailPadding, kDetailPadding, kDetailPadding);
    column->setSpacing(6);
    auto* header = new QHBoxLayout;
    header->addWidget(
        plainLabel(QStringLiteral("v") + QLocale().toString(static_cast<qlonglong>(version.versionNumber)),
                   textFont(TextStyle::subheadline, QFont::DemiBold), primaryLabelColor(), this));
    header->addWidget(plainLabel(QString::fromStdString(platform::numericDateTimeText(version.createdAt)),
                                 textFont(TextStyle::caption), secondaryLabelColor(), this));
    header->addStretch();
    column->addLayout(header);
    auto* content =
        new ElidedLabel(textFont(TextStyle::subheadline), primaryLabelColor(), kOlderVersionLines, this);
    content->setText(QString::fromStdString(version.content));
    column->addWidget(content);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paintRoundedPanel(painter, rect(), 12, ultraThinMaterialColor(), whiteAt(0.15), 1);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) copy_();
  }
  void contextMenuEvent(QContextMenuEvent* event) override {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(symbolIcon(QStringLiteral("doc.on.doc"), primaryLabelColor()),
                                    withoutMnemonic(uiText(texts::kCopyToClipboard)));
    copy->setObjectName(QStringLiteral("copyVersionAction"));
    connect(copy, &QAction::triggered, this, [this] { copy_(); });
    menu->popup(event->globalPos());
  }

 private:
  std::function<void()> copy_;
};

}  // namespace

PromptDetailView::PromptDetailView(std::shared_ptr<PromptDetailViewModel> viewModel,
                                   std::vector<std::string> suggestedTags, EditorCallbacks callbacks,
                                   EditorServices services, QWidget* parent)
    : NavigationPage(parent),
      controller_(PromptEditorController::make(std::move(viewModel), std::move(callbacks), services.console,
                                               services.mainQueue, services.unsavedEdits)),
      services_(std::move(services)) {
  setObjectName(QStringLiteral("promptDetailView"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setAutoFillBackground(false);
  scroll->viewport()->setAutoFillBackground(false);
  auto* body = new QWidget(scroll);
  auto* column = new QVBoxLayout(body);
  column->setContentsMargins(kDetailPadding, kDetailPadding, kDetailPadding, kDetailPadding);
  column->setSpacing(16);

  largeTitle_ = new ElidedLabel(textFont(TextStyle::largeTitle, QFont::Bold), primaryLabelColor(), 0, body);
  largeTitle_->setObjectName(QStringLiteral("promptTitle"));
  column->addWidget(largeTitle_);
  buildMetadataCard(column, std::move(suggestedTags));
  buildOlderVersionsCard(column);
  buildActionsCard(column);
  column->addStretch();

  scroll->setWidget(body);
  body->setAutoFillBackground(false);  // after setWidget, which turns it on
  outer->addWidget(scroll);

  QPointer<PromptDetailView> page(this);
  stateSubscription_ = controller_->changed().connect([page] {
    if (page == nullptr) return;
    page->showState();
    page->showStoredPrompt();
  });
  showState();
  showStoredPrompt();
}

PromptDetailView::~PromptDetailView() = default;

void PromptDetailView::buildMetadataCard(QVBoxLayout* column, std::vector<std::string> suggestedTags) {
  const PromptFormCard form =
      makePromptFormCard(QStringLiteral("editPromptTitleField"), uiText(texts::kEditTagsPlaceholder),
                         std::move(suggestedTags), column->parentWidget());
  placeCard(column, form.card);
  QVBoxLayout* card = form.card.column;
  QWidget* cardWidget = form.card.card;
  title_ = form.fields.title;
  type_ = form.fields.type;
  tags_ = form.fields.tags;

  auto* content = new QVBoxLayout;
  content->setSpacing(10);
  auto* versionRow = new QHBoxLayout;
  versionRow->addWidget(makeFormHeading(texts::kCurrentVersion, cardWidget), 0, Qt::AlignVCenter);
  versionRow->addStretch();
  versionChips_ = new QWidget(cardWidget);
  auto* chips = new QHBoxLayout(versionChips_);
  chips->setContentsMargins(0, 0, 0, 0);
  chips->setSpacing(8);
  versionChip_ = new MetaChip(QString(), QStringLiteral("clock.arrow.circlepath"), versionChips_);
  dateChip_ = new MetaChip(QString(), QStringLiteral("calendar"), versionChips_);
  chips->addWidget(versionChip_);
  chips->addWidget(dateChip_);
  versionRow->addWidget(versionChips_);
  content->addLayout(versionRow);
  content_ = makeContentEditor(QStringLiteral("editPromptContentEditor"), cardWidget);
  content->addWidget(content_);

  saveFailure_ = makeFailureStrip(cardWidget);
  content->addWidget(saveFailure_);
  auto* saveRow = new QHBoxLayout;
  auto* note = new ElidedLabel(textFont(TextStyle::footnote), secondaryLabelColor(), 0, cardWidget);
  note->setText(uiText(texts::kAutosaveNote));
  saveRow->addWidget(note, 1, Qt::AlignVCenter);
  save_ = makeButton(uiText(texts::kSave), cardWidget, QStringLiteral("tray.and.arrow.down.fill"));
  save_->setObjectName(QStringLiteral("saveEditedPromptButton"));
  styleProminentButton(*save_, accentBlueColor(), true);
  saveRow->addWidget(save_, 0, Qt::AlignVCenter);
  content->addLayout(saveRow);
  card->addLayout(content);

  connect(title_, &QLineEdit::textChanged, this,
          [this](const QString& text) { controller_->setEditTitle(text.toStdString()); });
  type_->setOnChanged([this](int index) { controller_->setEditType(typeAtPickerIndex(index)); });
  tags_->setOnTagsChanged([this](const std::vector<std::string>& tags) { controller_->setEditTags(tags); });
  connect(content_, &QPlainTextEdit::textChanged, this,
          [this] { controller_->setVersionText(content_->toPlainText().toStdString()); });
  connect(save_, &QPushButton::clicked, this, [this] { controller_->saveNewVersion(); });
}

void PromptDetailView::buildOlderVersionsCard(QVBoxLayout* column) {
  const FormCard card = placeCard(column, makeFormCard(12, column->parentWidget()));
  olderVersionsCard_ = card.card;
  card.column->addWidget(makeFormHeading(texts::kOlderVersions, olderVersionsCard_));
  olderVersionsColumn_ = card.column;
}

void PromptDetailView::buildActionsCard(QVBoxLayout* column) {
  const FormCard actions = placeCard(column, makeFormCard(12, column->parentWidget()));
  QVBoxLayout* card = actions.column;
  QWidget* cardWidget = actions.card;
  card->addWidget(makeFormHeading(texts::kActions, cardWidget));
  delete_ = makeButton(uiText(texts::kDeletePrompt), cardWidget, QStringLiteral("trash"));
  delete_->setObjectName(QStringLiteral("deletePromptButton"));
  styleProminentButton(*delete_, destructiveRedColor(), true);
  card->addWidget(delete_, 0, Qt::AlignLeft);
  connect(delete_, &QPushButton::clicked, this, &PromptDetailView::confirmDelete);
}

QString PromptDetailView::pageTitle() const {
  return uiText(texts::kDetailsTitle);
}

void PromptDetailView::pageDidAppear() {
  controller_->loadEditState();
}

QString PromptDetailView::olderVersionsCountText(std::size_t count) {
  const char* format = count == 1 ? texts::kOlderVersionSingular : texts::kOlderVersionsPlural;
  return fillText(format, QLocale().toString(static_cast<qulonglong>(count)));
}

void PromptDetailView::copyVersionText(const PromptVersion& version) {
  services_.clipboard->setString(version.content);
}

void PromptDetailView::confirmDelete() {
  QPointer<PromptDetailView> page(this);
  std::weak_ptr<PromptEditorController> controller = controller_;
  ConfirmationSheet::present(
      services_.sheets, uiText(texts::kDeleteQuestion), uiText(texts::kDelete), uiText(texts::kCancel),
      [page, controller] {
        auto alive = controller.lock();
        if (!alive) return;
        NavigationHost* navigation = page != nullptr ? &page->services_.navigation : nullptr;
        QPointer<NavigationHost> host(navigation);
        alive->performDelete([page, host] {
          // Closes the editor only while it is still the page on top.
          if (page != nullptr && host != nullptr) host->popPage(page);
        });
      },
      {});
}

void PromptDetailView::showState() {
  const PromptEditorController& state = *controller_;
  const QString title = QString::fromStdString(state.editTitle());
  if (title_->text() != title) {
    const QSignalBlocker quiet(title_);
    title_->setText(title);
    // A title put in from the prompt reads from its start, not scrolled to its end.
    title_->setCursorPosition(0);
  }
  type_->setCurrentIndex(typePickerIndex(state.editType()));
  if (tags_->tags() != state.editTags()) tags_->setTags(state.editTags());
  const QString text = QString::fromStdString(state.versionText());
  if (content_->toPlainText() != text) {
    const QSignalBlocker quiet(content_);
    content_->setPlainText(text);
  }
  save_->setEnabled(!state.isSaveDisabled());
  showFailure(*saveFailure_, state.saveFailure());
}

void PromptDetailView::showStoredPrompt() {
  const Prompt& prompt = controller_->prompt();
  largeTitle_->setText(QString::fromStdString(prompt.title));
  const std::optional<PromptVersion> current = controller_->currentVersion();
  versionChips_->setVisible(current.has_value());
  if (current) {
    versionChip_->setLabel(QStringLiteral("v") + QString::number(current->versionNumber));
    dateChip_->setLabel(QString::fromStdString(platform::numericDateTimeText(current->createdAt)));
  }
  showOlderVersions();
}

void PromptDetailView::showOlderVersions() {
  const std::vector<PromptVersion> older = controller_->olderVersions();
  std::vector<std::string> ids;
  for (const PromptVersion& version : older) ids.push_back(version.id.uuidString() + version.content);
  const bool unfolded = controller_->showOlderVersions();
  if (olderVersionsContent_ != nullptr && ids == shownOlderVersionIds_ && unfolded == shownUnfolded_) return;
  shownOlderVersionIds_ = ids;
  shownUnfolded_ = unfolded;

  if (olderVersionsContent_ != nullptr) {
    olderVersionsContent_->hide();
    // Later: the fold button that asked for this may still be inside its click.
    olderVersionsContent_->deleteLater();
  }
  olderVersionsContent_ = new QWidget(olderVersionsCard_);
  auto* column = new QVBoxLayout(olderVersionsContent_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(12);
  if (older.empty()) {
    column->addWidget(plainLabel(uiText(texts::kNoOlderVersions), textFont(TextStyle::subheadline),
                                 secondaryLabelColor(), olderVersionsContent_));
  } else {
    auto* fold = new FoldButton(older.size(), unfolded, olderVersionsContent_);
    std::weak_ptr<PromptEditorController> controller = controller_;
    connect(fold, &QAbstractButton::clicked, this, [controller] {
      if (auto alive = controller.lock()) alive->toggleOlderVersions();
    });
    column->addWidget(fold);
    if (unfolded) {
      auto* list = new QVBoxLayout;
      list->setSpacing(10);
      for (auto version = older.rbegin(); version != older.rend(); ++version) {
        const PromptVersion copied = *version;
        list->addWidget(new OlderVersionRow(
            copied, [this, copied] { copyVersionText(copied); }, olderVersionsContent_));
      }
      column->addLayout(list);
    }
  }
  olderVersionsColumn_->addWidget(olderVersionsContent_);
}

}  // namespace velloran
