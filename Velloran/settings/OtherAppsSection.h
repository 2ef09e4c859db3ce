#pragma once
// The settings' "Weitere Apps" card: a header with the title and, while a lookup runs, a small
// activity indicator; an explanation; and the first of these that holds:
//   - the apps as cards in an adaptive grid (a card opens its store page through the model, which
//     logs "app_store_open" first);
//   - four placeholder cards while loading;
//   - the error box with the model's message and "Erneut versuchen" (object name
//     "otherAppsRetryButton"), which loads again at once;
//   - "Keine Apps gefunden.".
// Each time the section is shown it asks the model to appear (which fetches until one fetch has
// succeeded).
//
// Owns its model (shared with nothing else) and follows it through the model's change handler.
// Main thread only.

#include <QWidget>
#include <memory>

#include "Velloran/services/OtherAppsViewModel.h"
#include "Velloran/ui/GlassCard.h"

class QLabel;
class QVBoxLayout;

namespace velloran {

class ActivityIndicator;
class AdaptiveGridLayout;
class ArtworkLoader;

class OtherAppsSection final : public GlassCard {
 public:
  static constexpr int kMinimumColumnWidth = 220;
  static constexpr int kGridSpacing = 12;

  OtherAppsSection(std::shared_ptr<OtherAppsViewModel> model, std::shared_ptr<ArtworkLoader> artwork,
                   QWidget* parent = nullptr);
  ~OtherAppsSection() override;

  const std::shared_ptr<OtherAppsViewModel>& model() const { return model_; }
  // The content case on screen now.
  OtherAppsViewModel::Content shownContent() const { return shownContent_; }
  bool showsActivity() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void modelChanged();
  void rebuildContent();
  QWidget* makeGrid(bool placeholders);
  QWidget* makeErrorBox();
  QWidget* makeEmptyText();

  std::shared_ptr<OtherAppsViewModel> model_;
  std::shared_ptr<ArtworkLoader> artwork_;
  ActivityIndicator* activity_;
  QVBoxLayout* column_;
  QWidget* content_ = nullptr;
  OtherAppsViewModel::Content shownContent_;
  std::vector<AppStoreApp> shownApps_;
};

}  // namespace velloran
