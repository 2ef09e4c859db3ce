#include "Velloran/views/FilterMenu.h"

#include <algorithm>

#include <QFontMetrics>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

QString displayName(PromptType type) {
  const std::string_view name = type.displayName();
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

// Draws the check mark of a chosen entry after its name, at the trailing edge, instead of in a
// column before it; entries that cannot be chosen line up with the others.
class TrailingCheckStyle final : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item) return QProxyStyle::drawControl(element, option, painter, widget);
    QStyleOptionMenuItem plain = withoutCheckColumn(*item);
    QProxyStyle::drawControl(element, &plain, painter, widget);
    if (item->checkType == QStyleOptionMenuItem::NotCheckable || !item->checked) return;
    const int side = checkSide(option, widget);
    const QRectF square(item->rect.right() - kTrailingMargin - side, item->rect.center().y() - side / 2.0 + 1,
                        side, side);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paintSymbol(*painter, square, QStringLiteral("checkmark"), primaryLabelColor());
    painter->restore();
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                         const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuItem || !item) return QProxyStyle::sizeFromContents(type, option, contents, widget);
    const QStyleOptionMenuItem plain = withoutCheckColumn(*item);
    QSize size = QProxyStyle::sizeFromContents(type, &plain, contents, widget);
    if (item->checkType != QStyleOptionMenuItem::NotCheckable) {
      size.rwidth() += kGap + checkSide(option, widget) + kTrailingMargin;
    }
    return size;
  }

 private:
  static constexpr int kGap = 12;
  static constexpr int kTrailingMargin = 8;

  static QStyleOptionMenuItem withoutCheckColumn(const QStyleOptionMenuItem& item) {
    QStyleOptionMenuItem plain = item;
    plain.checkType = QStyleOptionMenuItem::NotCheckable;
    plain.checked = false;
    plain.menuHasCheckableItems = false;
    return plain;
  }
  int checkSide(const QStyleOption* option, const QWidget* widget) const {
    return pixelMetric(PM_SmallIconSize, option, widget) * 3 / 4;
  }
};

}  // namespace

FilterMenu::FilterMenu(std::function<State()> state, Choices choices, QWidget* parent)
    : QMenu(parent), state_(std::move(state)), choices_(std::move(choices)) {
  setObjectName(QStringLiteral("filterMenu"));
  setToolTipsVisible(false);
  auto* style = new TrailingCheckStyle;
  style->setParent(this);
  setStyle(style);
  connect(this, &QMenu::aboutToShow, this, &FilterMenu::rebuild);
}

void FilterMenu::rebuild() {
  clear();
  const State state = state_();
  const auto entry = [this](const QString& text, std::function<void()> action) {
    QAction* added = addAction(withoutMnemonic(text));
    connect(added, &QAction::triggered, this, [action = std::move(action)] { action(); });
    return added;
  };
  // A type or tag entry: chosen ones are checked, and the style marks them after the name.
  const auto choice = [&](const QString& text, std::function<void()> action, bool chosen) {
    QAction* added = entry(text, std::move(action));
    added->setCheckable(true);
    added->setChecked(chosen);
  };

  if (state.selectedType || !state.selectedTags.empty()) {
    QAction* reset = entry(uiText(texts::kResetFilter), choices_.reset);
    reset->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), destructiveRedColor()));
  }

  addSection(uiText(texts::kTypeSection));
  entry(uiText(texts::kAllTypes), [this] { choices_.chooseType(std::nullopt); });
  for (PromptType type : PromptType::allCases()) {
    choice(
        displayName(type), [this, type] { choices_.chooseType(type); },
        state.selectedType && *state.selectedType == type);
  }

  if (state.listedTags.empty()) return;
  addSection(uiText(texts::kTagsSection));
  if (!state.selectedTags.empty()) entry(uiText(texts::kAllTags), choices_.clearTags);
  const QWidget* window = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  const int labelWidth = labelWidthFor(window != nullptr ? window->width() : kWidestLabel * 2);
  const QFontMetrics metrics(font());
  for (const std::string& tag : state.listedTags) {
    choice(
        metrics.elidedText(QString::fromStdString(tag), Qt::ElideRight, labelWidth),
        [this, tag] { choices_.toggleTag(tag); }, state.selectedTags.count(tag) > 0);
  }
}

int FilterMenu::labelWidthFor(int windowWidth) {
  // What a menu entry adds to its name: the style's margins, the gap and the check mark.
  constexpr int kEntryChrome = 96;
  constexpr int kNarrowest = 80;
  return std::clamp(windowWidth - kEntryChrome, kNarrowest, kWidestLabel);
}

}  // namespace velloran
