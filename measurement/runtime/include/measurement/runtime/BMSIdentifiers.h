#pragma once
// A small read-only view of the engine's identity for other components: the app IDs, the app
// instance ID, a counter of ad-event IDs, the library version and the data-collection origin set by
// the start. One per AnalyticsContext; any thread.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace beacon {

class AnalyticsContext;

class BMSIdentifiers {
 public:
  static BMSIdentifiers& shared();
  explicit BMSIdentifiers(AnalyticsContext& context);

  std::optional<std::string> corvaneAppID() const;
  // The Corvane App ID, else the AdReach app ID.
  std::optional<std::string> analyticsAppID() const;
  std::optional<std::string> appInstanceID() const;
  // The current counter value as decimal text; each read moves the counter on by one.
  std::string adEventID();
  std::string libraryVersion() const;
  std::optional<std::string> origin() const;
  // An empty origin is logged and ignored.
  void setOrigin(const std::string& origin);

 private:
  std::atomic<std::int64_t> adEventID_;
  mutable std::mutex originMutex_;
  std::optional<std::string> origin_;
};

}  // namespace beacon
