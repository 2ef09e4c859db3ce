#include "Velloran/views/FilterMenu.h"

#include "Velloran/ui/Symbols.h"
#include "Velloran/ui/TextStyles.h"
#include "Velloran/views/ViewTexts.h"

namespace velloran {
namespace {

QString displayName(PromptType type) {
  const std::string_view name = type.displayName();
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

FilterMenu::FilterMenu(std::function<State()> state, Choices choices, QWidget* parent)
    : QMenu(parent), state_(std::move(state)), choices_(std::move(choices)) {
  setObjectName(QStringLiteral("filterMenu"));
  setToolTipsVisible(false);
  connect(this, &QMenu::aboutToShow, this, &FilterMenu::rebuild);
}

void FilterMenu::rebuild() {
  clear();
  const State state = state_();
  const QIcon check = symbolIcon(QStringLiteral("checkmark"), primaryLabelColor());
  const auto entry = [this](const QString& text, std::function<void()> action, bool checked,
                            const QIcon& icon) {
    QAction* added = addAction(withoutMnemonic(text));
    if (checked) added->setIcon(icon);
    added->setIconVisibleInMenu(checked);
    connect(added, &QAction::triggered, this, [action = std::move(action)] { action(); });
    return added;
  };

  if (state.selectedType || !state.selectedTags.empty()) {
    QAction* reset = entry(uiText(texts::kResetFilter), choices_.reset, false, check);
    reset->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), destructiveRedColor()));
    reset->setIconVisibleInMenu(true);
  }

  addSection(uiText(texts::kTypeSection));
  entry(
      uiText(texts::kAllTypes), [this] { choices_.chooseType(std::nullopt); }, false, check);
  for (PromptType type : PromptType::allCases()) {
    entry(
        displayName(type), [this, type] { choices_.chooseType(type); },
        state.selectedType && *state.selectedType == type, check);
  }

  if (state.listedTags.empty()) return;
  addSection(uiText(texts::kTagsSection));
  if (!state.selectedTags.empty()) entry(uiText(texts::kAllTags), choices_.clearTags, false, check);
  for (const std::string& tag : state.listedTags) {
    entry(
        QString::fromStdString(tag), [this, tag] { choices_.toggleTag(tag); },
        state.selectedTags.count(tag) > 0, check);
  }
}

}  // namespace velloran
