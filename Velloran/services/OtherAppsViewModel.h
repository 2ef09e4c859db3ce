#pragma once
// The state behind the settings' "Weitere Apps" section: the maker's other applications, fetched
// from an AppDirectoryProviding, with the section's own German descriptions in place of the store
// subtitles.
//
// States: idle (nothing loaded yet), loading, loaded (records present, hasLoadedOnce), failed
// (errorMessage set; records of an earlier success stay). load() while a fetch runs does nothing.
// A failure shows the lookup's own German text when it is a LookupError, else
// kOtherAppsLoadFailedMessage. appear() fetches only until one fetch has succeeded; the retry button
// calls load() directly.
//
// Store pages open only through openStorePage(), and only when the page is an http(s) URL of a record
// that the lookup returned: a reply could otherwise hand the desktop a "file:" or custom-scheme URL.
// Opening logs "app_store_open" first.
//
// Threads: main thread only; fetch results arrive on the main queue. The model lives in a
// shared_ptr (make()); a fetch that completes after the model is gone is dropped. The change handler
// runs after every change of the observable state, on the main thread.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/services/AppDirectoryProviding.h"
#include "platform/net/Url.h"
#include "platform/workspace/Workspace.h"

namespace velloran {

inline constexpr const char* kOtherAppsLoadFailedMessage = "Konnte Apps nicht laden.";
inline constexpr const char* kOtherAppsRetryTitle = "Erneut versuchen";
inline constexpr const char* kOtherAppsEmptyText = "Keine Apps gefunden.";

class OtherAppsViewModel : public std::enable_shared_from_this<OtherAppsViewModel> {
 public:
  // What the section shows, the first that holds: the records, placeholders while loading, the
  // error box, or the empty text.
  enum class Content { loaded, loading, failed, empty };

  // Without a `service` the model looks the IDs up in the store through the process's HTTP client.
  // `analytics` must outlive the model.
  static std::shared_ptr<OtherAppsViewModel> make(std::vector<std::string> appIDs,
                                                  std::shared_ptr<AppDirectoryProviding> service,
                                                  std::shared_ptr<platform::Workspace> workspace,
                                                  AnalyticsService& analytics);

  const std::vector<AppStoreApp>& apps() const { return apps_; }
  bool isLoading() const { return isLoading_; }
  const std::optional<std::string>& errorMessage() const { return errorMessage_; }
  bool hasLoadedOnce() const { return hasLoadedOnce_; }
  const std::vector<std::string>& appIDs() const { return appIDs_; }
  const std::map<std::int64_t, std::string>& descriptionsByID() const { return descriptionsByID_; }
  Content content() const;

  void setChangeHandler(std::function<void()> handler);

  void load();
  // The section became visible.
  void appear();

  // The store page of the shown record `appID` when it may be opened; nothing disables its card.
  std::optional<platform::Url> storePageURL(std::int64_t appID) const;
  // Logs the opening, then hands the page to the workspace. False (and nothing logged) when
  // storePageURL gives nothing.
  bool openStorePage(std::int64_t appID);

 private:
  OtherAppsViewModel(std::vector<std::string> appIDs, std::shared_ptr<AppDirectoryProviding> service,
                     std::shared_ptr<platform::Workspace> workspace, AnalyticsService& analytics);

  void finishLoading(platform::Result<std::vector<AppStoreApp>> result);
  const AppStoreApp* shownApp(std::int64_t appID) const;
  void changed();

  std::vector<AppStoreApp> apps_;
  bool isLoading_ = false;
  std::optional<std::string> errorMessage_;
  const std::vector<std::string> appIDs_;
  const std::shared_ptr<AppDirectoryProviding> service_;
  const std::map<std::int64_t, std::string> descriptionsByID_;
  bool hasLoadedOnce_ = false;

  std::shared_ptr<platform::Workspace> workspace_;
  AnalyticsService& analytics_;
  std::function<void()> changeHandler_;
};

}  // namespace velloran
