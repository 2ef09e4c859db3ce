// The application's four events logged through the public interface of a configured SDK, running as
// in the application on its real queues: what one call costs the caller's thread and how fast the
// events reach durable storage. The SDK's services are a loopback collector whose served
// configuration lifts the daily event limits, so that every event is stored, and whose upload of the
// first start's own events is over before the measured run begins.
//
// Runs, each on an SDK started afresh: 10,000, 100,000 and 1,000,000 events logged as fast as the
// caller can (past 100,000 the stored-events limit trims the oldest raw events, and the caller is held
// back whenever the events waiting to be stored reach their bound); then 100,000 events paced at 90 %
// of the rate the 100,000 run reached (20,000 per second when it did not run), where no caller
// should wait.
//
// Goals: 20,000 events per second or more, at most 50 us of process CPU per event (one core keeps
// up); the 1,000,000 run at least 90 % of the 100,000 run's rate with peak memory under 200 MB; the
// paced run's p99 call under 50 us. Then 1,000,000 events from a global queue's block, which waits
// for storage at the bound as a thread does, and from a log-event listener, whose events past the
// bound are refused: peak memory under 200 MB for each, and no hang.
//
// Counters: taken (events the pipeline took) and refused (the events logged that it never took:
// refused at the bound, as the main thread's are once its brief wait runs out on a loaded machine),
// events_per_s (taken events over the wall time from the first call until the SDK's wait for its
// queued work ends), cpu_us_per_event (the whole process, every thread, over the same span, per taken
// event), call_p50_us / call_p99_us / call_max_us (each call on the caller's thread), stored (raw
// events in storage afterwards), peak_rss_mb (the process's peak so far: runs go from small to large)
// and the goals. LANGUAGE is set to German as the users have it: in a portable locale each event's
// metadata logs the missing language, at a cost no user pays.
// Run: `make bench`, or build-bench/bench/analytics_throughput_bench (a few minutes).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "analytics-api/BCNAnalytics.h"
#include "bench/SdkBenchmarkSetup.h"
#include "installations/BCNInstallations.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/upload/testing/BMSCollectorFake.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Queue.h"
#include "sdk-core/BCNApp.h"

namespace beacon::bench {
namespace {

using Clock = std::chrono::steady_clock;
// The highest limit the configuration takes: the 1,000,000 run's last few events (after the start's
// own) are counted and dropped, which costs the pipeline as much as storing them.
constexpr std::int64_t kLiftedDailyLimit = 1'000'000;
// Only a real hang takes this long.
constexpr auto kPatience = std::chrono::minutes(5);

platform::Bytes configurationLiftingTheDailyLimits() {
  BMSPBMeasurementConfig document;
  NANOSetInt64(document, MeasurementConfigField::kVersion, 1);
  NANOSetString(document, MeasurementConfigField::kCNPAppID, kBenchmarkAppID);
  std::vector<BMSPBSetting> settings;
  for (const char* key :
       {"measurement.upload.max_events_per_day", "measurement.upload.max_public_events_per_day"}) {
    BMSPBSetting setting;
    NANOSetString(setting, SettingField::kKey, key);
    NANOSetString(setting, SettingField::kValue, std::to_string(kLiftedDailyLimit));
    settings.push_back(setting);
  }
  NANOSetArray(document, MeasurementConfigField::kSettings, settings);
  return *document.protoBuffer();
}

// The application's four events with their usual parameters.
struct AppEvent {
  const char* name;
  BMSParameters parameters;
};
const std::array<AppEvent, 4>& appEvents() {
  static const std::array<AppEvent, 4> events{{
      {"prompt_copy",
       {{"type", platform::Value("User")},
        {"tags_count", platform::Value(3)},
        {"is_system", platform::Value(0)}}},
      {"prompt_create",
       {{"type", platform::Value("Custom Role")},
        {"tags_count", platform::Value(1)},
        {"is_system", platform::Value(0)}}},
      {"app_open", {}},
      {"app_store_open",
       {{"app_name", platform::Value("Velloran")}, {"app_id", platform::Value("6450000000")}}},
  }};
  return events;
}

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// What `read` answers on the engine's worker queue, where the engine's state lives.
template <typename Read>
auto onWorkerQueue(BMSMeasurement& engine, Read read) {
  decltype(read()) value{};
  engine.scheduler()->dispatchSyncOnWorkerQueueBlockID("bench", [&] { value = read(); });
  return value;
}

// A configured default SDK app whose engine has applied the collector's configuration.
class ConfiguredSdk {
 public:
  ConfiguredSdk() {
    // The locale of the application's users, whatever the machine's: in a portable locale (C, POSIX:
    // containers, CI) there is no preferred language, and each event's metadata would log so at a
    // monitored level, whose sample the monitor saves to disk at once - no desktop user's process
    // does that.
    setenv("LANGUAGE", "de_DE", 1);
    collector_.setConfiguration(configurationLiftingTheDailyLimits(), "\"lifted-limits\"");
    installSdkOptions(user_, collector_.origin());
    BCNInstallations::load();
    BCNAnalytics::registerClass();
    BCNApp::configure();
    if (!BCNAnalytics::waitForQueuedWork(kPatience)) throw std::runtime_error("the SDK did not start");
    engine_ = BMSMeasurement::sharedInstance();
    engine_->scheduler()->scheduleOnWorkerQueueBlockID("bench",
                                                       [engine = engine_] { engine->fetchRemoteConfig(); });
    // The answer reaches the engine through the main queue, which this thread runs meanwhile.
    const bool applied = platform::runUntil(
        [&] {
          return onWorkerQueue(*engine_, [&] {
                   return engine_->remoteConfigInstance()->maxPublicEventsPerDay();
                 }) == kLiftedDailyLimit;
        },
        kPatience);
    if (!applied) throw std::runtime_error("the collector's configuration was not applied");
    // The first start's own real-time events are uploaded within seconds; only after that upload
    // does the engine leave its storage to the measured events for the upload interval (an hour).
    // (The queue empties when the collector's answer has been handled.)
    if (!platform::runUntil(
            [&] { return collector_.uploadCount() > 0 && rowsIn("raw_events") == 0 && rowsIn("queue") == 0; },
            kPatience))
      throw std::runtime_error("the first start's events were not uploaded");
  }

  // The events the engine's pipeline counted today (-1 when they cannot be read): every event it
  // took, stored or trimmed since.
  std::int64_t eventsCountedToday() {
    return onWorkerQueue(*engine_, [&]() -> std::int64_t {
      auto counts = engine_->database()->dailyCounts();
      return counts ? counts.value().allEventsCount() : -1;
    });
  }

  // The rows of a table of the engine's database (-1 when they cannot be counted): "raw_events"
  // holds the events not yet bundled, "queue" the bundles not yet uploaded.
  std::int64_t rowsIn(const std::string& table) {
    return onWorkerQueue(*engine_, [&] {
      return engine_->database()->store().integer("SELECT count(*) FROM " + table).valueOr(-1);
    });
  }

 private:
  testing::BMSCollectorFake collector_;
  platform::testing::TemporaryUser user_;
  FreshSdk sdk_;
  std::shared_ptr<BMSMeasurement> engine_;
};

double peakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;
}

double percentile(const std::vector<Clock::duration>& sorted, double fraction) {
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
  return std::chrono::duration<double, std::micro>(sorted[index]).count();
}

// Where the events are logged from: the benchmark's thread (the process's main thread), a block of
// the global queue, or a log-event listener told of one event (on the analytics queue).
enum class Caller { BenchmarkThread, GlobalQueueBlock, Listener };

constexpr const char* kListenerTrigger = "burst_trigger";

// Runs `logAll` as `caller` and returns once it has returned; the main queue runs meanwhile. Answers
// how many events it logged besides those of `logAll` (a listener's trigger).
std::int64_t runAs(Caller caller, const std::function<void()>& logAll) {
  if (caller == Caller::BenchmarkThread) {
    logAll();
    return 0;
  }
  std::atomic<bool> done = false;
  const auto logAllOnce = [&] {
    logAll();
    done = true;
  };
  std::optional<BMSLogEventListenerToken> listener;
  if (caller == Caller::GlobalQueueBlock) {
    platform::globalQueue()->async(logAllOnce);
  } else {
    listener = BCNAnalytics::addLogEventListener([&](const BMSEvent& event) {
      if (event.name() == kListenerTrigger) logAllOnce();
    });
    BCNAnalytics::logEventWithName(kListenerTrigger, {});
  }
  if (!platform::runUntil([&] { return done.load(); }, kPatience))
    throw std::runtime_error("the caller hung");
  if (listener) {
    // Gone before this frame is: the removal runs behind the events already told.
    BCNAnalytics::removeLogEventListener(listener);
    if (!BCNAnalytics::waitForQueuedWork(kPatience)) throw std::runtime_error("the listener stayed");
  }
  return listener ? 1 : 0;
}

// Logs `events` of the application's events as `caller`, each call starting no earlier than
// `interval` after the one before (none: as fast as the caller can), and reports the counters above.
void logEvents(benchmark::State& state, std::size_t events, Clock::duration interval,
               Caller caller = Caller::BenchmarkThread) {
  ConfiguredSdk sdk;
  std::vector<Clock::duration> calls;
  calls.reserve(events);
  double seconds = 0;
  double cpuSeconds = 0;
  std::int64_t logged = static_cast<std::int64_t>(events);
  const std::int64_t countedBefore = sdk.eventsCountedToday();
  for (auto _ : state) {
    const double cpuBefore = processCpuSeconds();
    const Clock::time_point start = Clock::now();
    logged += runAs(caller, [&] {
      for (std::size_t i = 0; i < events; ++i) {
        const AppEvent& event = appEvents()[i % appEvents().size()];
        // Ahead of the schedule the caller sleeps: spinning, it would take a core from the engine
        // whose pace it measures. Behind it, it logs at once until it has caught up.
        if (interval != Clock::duration::zero())
          std::this_thread::sleep_until(start + interval * static_cast<Clock::rep>(i));
        const Clock::time_point before = Clock::now();
        BCNAnalytics::logEventWithName(event.name, event.parameters);
        calls.push_back(Clock::now() - before);
      }
    });
    if (!BCNAnalytics::waitForQueuedWork(kPatience)) {
      state.SkipWithError("the events were not stored in time");
      return;
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    cpuSeconds = processCpuSeconds() - cpuBefore;
    state.SetIterationTime(seconds);
  }
  std::sort(calls.begin(), calls.end());
  const std::int64_t taken = sdk.eventsCountedToday() - countedBefore;
  state.counters["taken"] = static_cast<double>(taken);
  state.counters["refused"] = static_cast<double>(logged - taken);
  state.counters["events_per_s"] = static_cast<double>(taken) / seconds;
  state.counters["cpu_us_per_event"] =
      cpuSeconds * 1e6 / static_cast<double>(std::max<std::int64_t>(taken, 1));
  state.counters["call_p50_us"] = percentile(calls, 0.50);
  state.counters["call_p99_us"] = percentile(calls, 0.99);
  state.counters["call_max_us"] = percentile(calls, 1.0);
  state.counters["stored"] = static_cast<double>(sdk.rowsIn("raw_events"));
  state.counters["peak_rss_mb"] = peakResidentMegabytes();
}

// The rate the 100,000 run reached, for the paced run and the 1,000,000 run's comparison.
double burstRate = 0;

void BM_LogEventsThroughThePublicInterface(benchmark::State& state) {
  logEvents(state, static_cast<std::size_t>(state.range(0)), Clock::duration::zero());
  state.counters["goal_events_per_s"] = 20'000;
  state.counters["goal_cpu_us_per_event"] = 50;
  if (state.range(0) == 100'000) burstRate = state.counters["events_per_s"];
  if (state.range(0) == 1'000'000) {
    state.counters["goal_peak_rss_mb"] = 200;
    if (burstRate > 0) state.counters["rate_of_100k_run"] = state.counters["events_per_s"] / burstRate;
    state.counters["goal_rate_of_100k_run"] = 0.9;
  }
}
// Each run on an SDK started afresh, as a new process has it.
BENCHMARK(BM_LogEventsThroughThePublicInterface)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_LogEventsPacedBelowTheEngineRate(benchmark::State& state) {
  const double rate = burstRate > 0 ? 0.9 * burstRate : 20'000;
  logEvents(state, static_cast<std::size_t>(state.range(0)),
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1 / rate)));
  state.counters["paced_per_s"] = rate;
  state.counters["goal_call_p99_us"] = 50;
}
BENCHMARK(BM_LogEventsPacedBelowTheEngineRate)
    ->Arg(100'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// 1,000,000 events from a global queue's block, which waits for storage at the bound like the
// benchmark's thread, and from a listener, which runs on the analytics queue its events have to pass:
// past the bound its events are refused.
void BM_LogEventsFromAQueueBlock(benchmark::State& state) {
  logEvents(state, static_cast<std::size_t>(state.range(0)), Clock::duration::zero(),
            Caller::GlobalQueueBlock);
  state.counters["goal_peak_rss_mb"] = 200;
}
BENCHMARK(BM_LogEventsFromAQueueBlock)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_LogEventsFromAListener(benchmark::State& state) {
  logEvents(state, static_cast<std::size_t>(state.range(0)), Clock::duration::zero(), Caller::Listener);
  state.counters["goal_peak_rss_mb"] = 200;
}
BENCHMARK(BM_LogEventsFromAListener)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace beacon::bench

BENCHMARK_MAIN();
