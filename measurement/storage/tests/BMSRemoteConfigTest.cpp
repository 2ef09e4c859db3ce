#include "measurement/storage/BMSRemoteConfig.h"

#include <gtest/gtest.h>

#include <functional>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/script/BMSEventEditingRuntime.h"
#include "measurement/storage/BMSExperimentSnapshots.h"
#include "measurement/storage/BMSRemoteConfigSettings.h"
#include "measurement/storage/tests/StorageTestSupport.h"

namespace beacon {
namespace {

using Getter = std::function<double(const BMSRemoteConfig&)>;

struct SettingCase {
  const char* key;
  Getter getter;
  double defaultValue;
  std::string inside;
  double insideValue;
  std::string outside;  // above the maximum or below the minimum
};

// One row per setting whose key, default and bounds the engine relies on.
const std::vector<SettingCase>& settingCases() {
  static const std::vector<SettingCase> cases = {
      {"measurement.upload.interval", [](auto& c) { return c.uploadingInterval(); }, 3600, "15", 15, "14"},
      {"measurement.upload.realtime_upload_interval", [](auto& c) { return c.uploadingRealTimeInterval(); },
       10, "15", 15, "16"},
      {"measurement.upload.initial_upload_delay_time",
       [](auto& c) { return c.uploadingInitialDelayInterval(); }, 15, "86400", 86400, "0"},
      {"measurement.upload.retry_count", [](auto& c) { return c.uploadingRetryCount(); }, 6, "24", 24, "25"},
      {"measurement.upload.retry_time", [](auto& c) { return c.uploadingRetryInterval(); }, 1800, "60", 60,
       "59"},
      {"measurement.upload.debug_upload_interval", [](auto& c) { return c.uploadingDebugModeInterval(); }, 1,
       "2", 2, "16"},
      {"measurement.upload.backoff_period", [](auto& c) { return c.uploadingBackoffInterval(); }, 43200,
       "3600", 3600, "604801"},
      {"measurement.upload.max_bundles_created_per_iteration",
       [](auto& c) { return c.maxBundlesCreatedPerIteration(); }, 100, "1", 1, "10001"},
      {"measurement.upload.max_bundles", [](auto& c) { return c.uploadMaxBundlesLimit(); }, 100, "10000",
       10000, "0"},
      {"measurement.upload.max_batch_size", [](auto& c) { return c.uploadMaxSizeLimitBytes(); }, 65536, "0",
       0, "10485761"},
      {"measurement.network.network_timeout", [](auto& c) { return c.networkTimeout(); }, 60, "30.5", 30.5,
       "29"},
      {"measurement.quality.checksum", [](auto& c) { return c.checksumEnabled(); }, 0, "TRUE", 1, "yes"},
      {"measurement.upload.dma_consent_enabled", [](auto& c) { return c.DMAConsentEnabled(); }, 1, "0", 0,
       "2"},
      {"measurement.session.default_timeout_interval",
       [](auto& c) { return c.sessionDefaultTimeoutInterval(); }, 1800, "0", 0, "-1"},
      {"measurement.attribution.cache.ttl", [](auto& c) { return c.attributionCacheTTLInterval(); }, 604800,
       "86400", 86400, "2592001"},
      {"measurement.upload.max_event_parameter_value_length",
       [](auto& c) { return c.maxPublicEventParameterValueLength(); }, 100, "500", 500, "99"},
      {"measurement.upload.max_public_event_params", [](auto& c) { return c.maxPublicEventParams(); }, 25,
       "100", 100, "24"},
      {"measurement.upload.max_item_scoped_custom_parameters",
       [](auto& c) { return c.maxItemScopedCustomParameters(); }, 27, "10", 10, "36"},
      {"measurement.monitoring.sample_period_millis", [](auto& c) { return c.monitoringSamplePeriod(); },
       86400, "604800000", 604800, "604800001"},
      {"measurement.psm_start_count", [](auto& c) { return c.maxPSMStartCount(); }, 3, "0", 0, "11"},
      {"measurement.psm_prefix_phone", [](auto& c) { return c.hashPrefixBitLengthPhone(); }, 11, "18", 18,
       "5"},
      {"measurement.upload.max_conversions_per_day", [](auto& c) { return c.maxConversionsPerDay(); }, 10000,
       "5", 5, "0"},
      {"measurement.account.time_zone_offset_minutes",
       [](auto& c) { return c.analyticsAccountTimeZoneOffsetMinutes(); }, 0, "-60", -60, "-1441"},
  };
  return cases;
}

std::shared_ptr<BMSRemoteConfig> withSettings(std::map<std::string, std::string, std::less<>> settings) {
  auto config = BMSRemoteConfig::defaultInstance();
  BMSRemoteConfigSnapshot snapshot;
  snapshot.version = 1;
  snapshot.settings = std::move(settings);
  EXPECT_TRUE(config->updateWithSnapshot(std::move(snapshot), {}));
  return config;
}

TEST(BMSRemoteConfigSettings, DefaultsInsideAndOutOfBoundsValues) {
  const auto defaults = BMSRemoteConfig::defaultInstance();
  for (const SettingCase& setting : settingCases()) {
    SCOPED_TRACE(setting.key);
    EXPECT_EQ(setting.getter(*defaults), setting.defaultValue);
    EXPECT_EQ(setting.getter(*withSettings({{setting.key, setting.inside}})), setting.insideValue);
    // Out of bounds is the default, never the nearest bound.
    EXPECT_EQ(setting.getter(*withSettings({{setting.key, setting.outside}})), setting.defaultValue);
  }
}

TEST(BMSRemoteConfigSettings, UnparsableValuesReadAsTheDefault) {
  for (const char* text :
       {"", " 20", "20 ", "+20", "2e1", "twenty", "0x14", "20.0", "99999999999999999999"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(withSettings({{"measurement.upload.retry_count", text}})->uploadingRetryCount(), 6);
  }
  EXPECT_EQ(withSettings({{"measurement.upload.interval", "1,5e3"}})->uploadingInterval(), 3600);
  EXPECT_EQ(withSettings({{"measurement.upload.interval", "nan"}})->uploadingInterval(), 3600);
  EXPECT_EQ(storage::parseDecimal("1500.25"), 1500.25);
  EXPECT_EQ(storage::parseBoolean("FaLsE"), false);
}

TEST(BMSRemoteConfigSettings, InternalParameterLengthFollowsALargePublicOne) {
  EXPECT_EQ(BMSRemoteConfig::defaultInstance()->maxInternalEventParameterValueLength(), 256);
  EXPECT_EQ(withSettings({{"measurement.upload.max_event_parameter_value_length", "300"}})
                ->maxInternalEventParameterValueLength(),
            300);
  EXPECT_EQ(BMSRemoteConfig::defaultInstance()->maxPSMStartCount(true), 10);
}

TEST(BMSRemoteConfig, EventRulesAndTheRestOfTheConfiguration) {
  auto config = BMSRemoteConfig::defaultInstance();
  EXPECT_EQ(config->version(), -1);
  EXPECT_FALSE(config->isEventBlocklisted("purchase"));
  BMSRemoteConfigSnapshot snapshot;
  snapshot.version = 42;
  snapshot.events["blocked"].blocklisted = true;
  snapshot.events["sampled"].samplingRate = 10;
  snapshot.events["converted"].customConversion = true;
  snapshot.dataControls = {"dc"};
  snapshot.isDMARegion = true;
  ASSERT_TRUE(config->updateWithSnapshot(snapshot, {}));
  EXPECT_EQ(config->version(), 42);
  EXPECT_TRUE(config->isEventBlocklisted("blocked"));
  EXPECT_FALSE(config->isEventBlocklisted("sampled"));
  EXPECT_TRUE(config->eventHasSamplingRate("sampled"));
  EXPECT_EQ(config->samplingRateForEvent("sampled"), 10);
  EXPECT_EQ(config->samplingRateForEvent("blocked"), 0);
  EXPECT_TRUE(config->isEventCustomConversion("converted"));
  EXPECT_EQ(config->dataControls(), std::set<std::string>{"dc"});
  EXPECT_TRUE(config->isDMARegion());
  config->reset();
  EXPECT_EQ(config->version(), -1);
  EXPECT_FALSE(config->isDMARegion());
}

TEST(BMSRemoteConfig, URLsUseTheOriginAndOnlyWebUploadOverrides) {
  platform::testing::ScopedEnvironment environment;
  environment.set("BEACON_SERVICE_ORIGIN", "http://127.0.0.1:8123");
  auto config = BMSRemoteConfig::defaultInstance();
  EXPECT_EQ(config->uploadURL(), "http://127.0.0.1:8123/a");
  EXPECT_EQ(withSettings({{"measurement.upload.url", "https://upload.example/x"}})->uploadURL(),
            "https://upload.example/x");
  EXPECT_EQ(withSettings({{"measurement.upload.url", "file:///etc/passwd"}})->uploadURL(),
            "http://127.0.0.1:8123/a");
  environment.set("BEACON_SERVICE_ORIGIN", "not a url");
  EXPECT_EQ(config->uploadURL(), "https://upload.beacon.corvane.com/a");
}

class BMSRemoteConfigStoredTest : public ::testing::Test, protected testing::DatabaseFixture {};

TEST_F(BMSRemoteConfigStoredTest, NewConfigurationBecomesVisibleOnlyWhenItsTransactionCommits) {
  auto config = BMSRemoteConfig::initWithAppID("1:1:linux:a", database, nullptr, clock).value();
  BMSRemoteConfigSnapshot first;
  first.version = 1;
  ASSERT_TRUE(config->updateWithSnapshot(first, {1}));
  EXPECT_EQ(config->version(), 1);

  BMSRemoteConfigSnapshot second;
  second.version = 2;
  database->performTransaction([&] {
    EXPECT_TRUE(database->performTransaction([&] { return config->updateWithSnapshot(second, {2}); }));
    EXPECT_EQ(config->version(), 1);
    return false;  // a later step of the fetch failed
  });
  EXPECT_EQ(config->version(), 1);
  EXPECT_EQ(database->storedRemoteConfig().value(), platform::Bytes{1});

  database->performTransaction([&] { return config->updateWithSnapshot(second, {2}); });
  EXPECT_EQ(config->version(), 2);
}

TEST_F(BMSRemoteConfigStoredTest, ExpiredWhenNeverFetchedOrOlderThanTheCacheTime) {
  auto config = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock).value();
  EXPECT_TRUE(config->isExpired());
  const double now = clock->now().unixSeconds();
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now - 86400));
  EXPECT_FALSE(config->isExpired());
  EXPECT_EQ(config->lastRemoteConfigUpdateTimestamp(), now - 86400);
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now - 86401));
  EXPECT_TRUE(config->isExpired());
  // Fetched while the clock ran ahead, read after it was set right: expired at once, however little
  // ahead, instead of staying fresh until the clock catches up.
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now + 365 * 86400));
  EXPECT_TRUE(config->isExpired());
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now + 600));
  EXPECT_TRUE(config->isExpired());
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now));
  EXPECT_FALSE(config->isExpired());
}

TEST_F(BMSRemoteConfigStoredTest, ConfigurationURLNeedsAPlatform) {
  platform::testing::ScopedEnvironment environment;
  environment.set("BEACON_SERVICE_ORIGIN", std::nullopt);
  auto config = BMSRemoteConfig::initWithAppID("1:23:linux:ab&c", database, nullptr, clock).value();
  EXPECT_FALSE(config->remoteConfigURLWithPlatform(std::nullopt, 120400, 3));
  EXPECT_EQ(config->remoteConfigURLWithPlatform("linux", 120400, 3),
            "https://config.beacon.corvane.com/config/app/"
            "1%3A23%3Alinux%3Aab%26c?platform=linux&runtime_version=3"
            "&cnp_version=120400");
}

platform::Bytes encodedConfig() {
  namespace F = MeasurementConfigField;
  BMSPBMeasurementConfig config;
  NANOSetInt64(config, F::kVersion, 17);
  NANOSetString(config, F::kCNPAppID, "1:23:linux:ab");
  BMSPBSetting setting;
  NANOSetString(setting, SettingField::kKey, "measurement.upload.retry_count");
  NANOSetString(setting, SettingField::kValue, "3");
  NANOSetArray(config, F::kSettings, std::vector<BMSPBSetting>{setting});
  BMSPBEventConfig event;
  NANOSetString(event, EventConfigField::kName, "purchase");
  NANOSetBool(event, EventConfigField::kCustomConversion, true);
  NANOSetInt32(event, EventConfigField::kSamplingRate, 0);
  NANOSetArray(config, F::kEventConfigs, std::vector<BMSPBEventConfig>{event});
  NANOSetInt64(config, F::kCacheTTLSeconds, 600);
  NANOSetArray(config, F::kDataControls, std::vector<std::string>{"dc1", "dc2"});
  NANOSetArray(config, F::kExperimentIDs, std::vector<std::int64_t>{5, 6});
  BMSPBConsentEntry denied;
  NANOSetString(denied, ConsentEntryField::kType, "ad_storage");
  NANOSetString(denied, ConsentEntryField::kValue, "denied");
  NANOSetArray(config, F::kConsentDefaults, std::vector<BMSPBConsentEntry>{denied});
  BMSPBRegionalConsentDefaults regional;
  NANOSetString(regional, RegionalConsentDefaultsField::kRegion, "DE");
  NANOSetArray(regional, RegionalConsentDefaultsField::kDefaults, std::vector<BMSPBConsentEntry>{denied});
  NANOSetArray(config, F::kRegionalDefaults, std::vector<BMSPBRegionalConsentDefaults>{regional});
  NANOSetBool(config, F::kDMARegion, true);
  NANOSetArray(config, F::kCorePlatformServices, std::vector<std::string>{"core"});
  return *config.protoBuffer();
}

TEST_F(BMSRemoteConfigStoredTest, ConfigurationMessageIsParsedStoredAndLoadedAgain) {
  auto config = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock).value();
  EXPECT_FALSE(config->updateMeasurementConfig(platform::Bytes{0xFF, 0xFF}));
  EXPECT_EQ(config->version(), -1);
  ASSERT_TRUE(config->updateMeasurementConfig(encodedConfig()));

  reopen();
  auto loaded = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock).value();
  EXPECT_EQ(loaded->version(), 17);
  EXPECT_EQ(loaded->uploadingRetryCount(), 3);
  EXPECT_TRUE(loaded->isEventCustomConversion("purchase"));
  EXPECT_TRUE(loaded->eventHasSamplingRate("purchase"));
  EXPECT_EQ(loaded->samplingRateForEvent("purchase"), 0);
  EXPECT_FALSE(loaded->eventHasSamplingRate("other"));
  EXPECT_EQ(loaded->dataControls(), (std::set<std::string>{"dc1", "dc2"}));
  EXPECT_EQ(loaded->experimentIDs(), (std::vector<std::int64_t>{5, 6}));
  EXPECT_EQ(loaded->consentDefaults(), (platform::Dictionary{{"ad_storage", "denied"}}));
  EXPECT_EQ(loaded->regionalDefaults(),
            (platform::Dictionary{{"DE", platform::Dictionary{{"ad_storage", "denied"}}}}));
  EXPECT_TRUE(loaded->isDMARegion());
  EXPECT_EQ(loaded->corePlatformServices(), std::set<std::string>{"core"});
  // The configuration's own cache time decides expiry.
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(clock->now().unixSeconds() - 601));
  EXPECT_TRUE(loaded->isExpired());
}

class RecordingExperiments : public BMSExperimentSnapshots {
 public:
  std::vector<std::int64_t> experimentIDs() const override { return ids; }
  void activateNewSnapshot() override { ++activations; }
  std::vector<std::int64_t> ids;
  int activations = 0;
};

TEST_F(BMSRemoteConfigStoredTest, ExperimentsComeFromTheConfigurationAndTheExperimentManager) {
  auto experiments = std::make_shared<RecordingExperiments>();
  experiments->ids = {6, 9};
  auto config = BMSRemoteConfig::initWithAppID("app", database, experiments, clock).value();
  EXPECT_EQ(config->experimentIDs(), (std::vector<std::int64_t>{6, 9}));
  ASSERT_TRUE(config->updateMeasurementConfig(encodedConfig()));
  EXPECT_EQ(config->experimentIDs(), (std::vector<std::int64_t>{5, 6, 9}));

  config->activateNewSnapshot();
  EXPECT_EQ(experiments->activations, 1);
  // Without a manager there is nothing to activate and only the configuration's IDs count.
  BMSRemoteConfig::defaultInstance()->activateNewSnapshot();
  EXPECT_TRUE(BMSRemoteConfig::defaultInstance()->experimentIDs().empty());
}

class NoEditsRuntime : public BMSEventEditingRuntime {
 public:
  explicit NoEditsRuntime(platform::Bytes program) : program(std::move(program)) {}
  bool handleEvent(const BMSPEvent&, std::string&) override { return true; }
  bool hasEdits() const override { return false; }
  bool hasCreatedEvents() const override { return false; }
  const BMSEventEditingContext& eventContext() const override { return context; }
  platform::Bytes program;
  BMSEventEditingContext context;
};

platform::Bytes configWithProgram(std::optional<std::string> program) {
  BMSPBMeasurementConfig config;
  NANOSetInt64(config, MeasurementConfigField::kVersion, 3);
  NANOSetString(config, MeasurementConfigField::kEventEditingProgram, std::move(program));
  return *config.protoBuffer();
}

TEST_F(BMSRemoteConfigStoredTest, EventEditingRunsTheProgramOfTheConfigurationInForce) {
  std::vector<platform::Bytes> loaded;
  BMSEventEditingLoader loader =
      [&](const platform::Bytes& program) -> std::shared_ptr<BMSEventEditingRuntime> {
    loaded.push_back(program);
    if (program == platform::Bytes{'b', 'a', 'd'}) return nullptr;
    return std::make_shared<NoEditsRuntime>(program);
  };
  auto config = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock, loader).value();
  EXPECT_EQ(config->eventEditing(), nullptr);

  ASSERT_TRUE(config->updateMeasurementConfig(configWithProgram("p1")));
  auto runtime = std::dynamic_pointer_cast<NoEditsRuntime>(config->eventEditing());
  ASSERT_TRUE(runtime);
  EXPECT_EQ(runtime->program, (platform::Bytes{'p', '1'}));

  // A rolled-back configuration keeps the runtime in force.
  database->performTransaction([&] { return !config->updateMeasurementConfig(configWithProgram("p2")); });
  EXPECT_EQ(config->eventEditing(), runtime);

  // A program the loader cannot run, or none at all, leaves no runtime.
  ASSERT_TRUE(config->updateMeasurementConfig(configWithProgram("bad")));
  EXPECT_EQ(config->eventEditing(), nullptr);
  ASSERT_TRUE(config->updateMeasurementConfig(configWithProgram(std::nullopt)));
  EXPECT_EQ(config->eventEditing(), nullptr);
  EXPECT_EQ(loaded.size(), 3u);

  // After a restart the stored configuration's program runs again; a reset ends it.
  ASSERT_TRUE(config->updateMeasurementConfig(configWithProgram("p3")));
  auto restarted = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock, loader).value();
  ASSERT_TRUE(restarted->eventEditing());
  restarted->reset();
  EXPECT_EQ(restarted->eventEditing(), nullptr);
  // Without a loader no program runs.
  EXPECT_EQ(BMSRemoteConfig::initWithAppID("app", database, nullptr, clock).value()->eventEditing(), nullptr);
}

}  // namespace
}  // namespace beacon
