#pragma once
// A test world whose facade has started with a real engine over a real database in a temporary
// home, and a listener that records every event the engine lets listeners hear.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AnalyticsTestWorld.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon::testing {

class StartedAnalytics : public ::testing::Test {
 protected:
  StartedAnalytics() {
    user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-tests"}});
    world.classes().registerClass("BCNAnalytics");
    BMSAnalytics::addLogEventListener([this](const BMSEvent& event) { heard.push_back(event); });
  }

  // Starts, then forgets what the start reported itself (first open, session start, versions).
  void start(platform::Dictionary options = {}) {
    startHearingTheStart(std::move(options));
    heard.clear();
  }
  void startHearingTheStart(platform::Dictionary options = {}) {
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {std::move(options), nullptr});
    world.dispatch().drain();
  }

  std::shared_ptr<BMSMeasurement> engine() const { return BMSMeasurement::sharedInstance(); }
  BMSDatabase& database() const { return *engine()->database(); }

  std::vector<std::string> heardNames() const {
    std::vector<std::string> names;
    for (const BMSEvent& event : heard) names.push_back(event.name());
    return names;
  }
  const BMSEvent* heardEvent(const std::string& name) const {
    for (const BMSEvent& event : heard) {
      if (event.name() == name) return &event;
    }
    return nullptr;
  }
  // The int64 parameter of a heard event; nothing when either is missing.
  std::optional<std::int64_t> heardInteger(const std::string& name, const std::string& parameter) const {
    const BMSEvent* event = heardEvent(name);
    if (!event) return std::nullopt;
    const auto found = event->parameters().find(parameter);
    if (found == event->parameters().end() || !found->second.isInt64()) return std::nullopt;
    return found->second.int64Value();
  }
  // The string parameter of a heard event; nothing when either is missing.
  std::optional<std::string> heardText(const std::string& name, const std::string& parameter) const {
    const BMSEvent* event = heardEvent(name);
    if (!event) return std::nullopt;
    const auto found = event->parameters().find(parameter);
    if (found == event->parameters().end() || !found->second.isString()) return std::nullopt;
    return *found->second.stringValue();
  }
  std::optional<BMSValue> storedUserProperty(const std::string& name) const {
    auto stored = database().userAttributeWithName(name);
    if (!stored || !*stored) return std::nullopt;
    return (*stored)->value();
  }
  bool logged(std::int64_t code) const { return world.log().contains(code); }

  // Every stored raw event, read back through the database, in the order they were stored.
  std::vector<BMSRawEventData> storedRawEvents() const {
    std::vector<std::int64_t> fingerprints;
    EXPECT_TRUE(database().store().run(
        "SELECT DISTINCT metadata_fingerprint FROM raw_events", {},
        [&](const platform::SqliteRow& row) { fingerprints.push_back(row.integer(0)); }));
    std::vector<BMSRawEventData> rows;
    for (std::int64_t fingerprint : fingerprints) {
      for (BMSRawEventData& row : database().rawEventsWithMetadataFingerprint(fingerprint).value())
        rows.push_back(std::move(row));
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.rowID() < b.rowID(); });
    return rows;
  }
  std::vector<std::string> storedNames() const {
    std::vector<std::string> names;
    for (const BMSRawEventData& row : storedRawEvents()) names.push_back(row.rawEvent().name());
    return names;
  }

  // The raw events another connection finds in the file: those whose transaction has committed.
  std::int64_t committedRawEventsNamed(const std::string& name) const {
    auto reader = platform::SqliteConnection::open(database().store().path().string()).value();
    return std::get<std::int64_t>(
        reader->scalar("SELECT count(*) FROM raw_events WHERE name = ?", {name}).value());
  }

  platform::testing::TemporaryUser user;
  AnalyticsTestWorld world;
  std::vector<BMSEvent> heard;
};

}  // namespace beacon::testing
