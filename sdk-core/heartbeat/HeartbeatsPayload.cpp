#include "sdk-core/heartbeat/HeartbeatsPayload.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/value/Base64.h"
#include "sdk-utilities/gzip/CVUGzip.h"

namespace beacon {
namespace {

using nlohmann::json;

// What the empty payload encodes to, written out so the fallback for an unwritable payload cannot
// itself fail.
constexpr std::string_view kEmptyPayloadJson = R"({"heartbeats":[],"version":2})";

constexpr double kSecondsPerUnixDay = 86400.0;
constexpr double kFirstWritableDay =
    std::chrono::sys_days{std::chrono::year{1} / std::chrono::January / 1}.time_since_epoch().count();
constexpr double kLastWritableDay =
    std::chrono::sys_days{std::chrono::year{9999} / std::chrono::December / 31}.time_since_epoch().count();

// The UTC calendar day of `date` as "yyyy-MM-dd"; nullopt outside the years a four-digit year spells.
std::optional<std::string> headerDate(platform::Date date) {
  const double day = std::floor(date.unixSeconds() / kSecondsPerUnixDay);
  if (!(day >= kFirstWritableDay && day <= kLastWritableDay)) return std::nullopt;
  const std::chrono::year_month_day calendarDay{
      std::chrono::sys_days{std::chrono::days{static_cast<int>(day)}}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(calendarDay.year()),
                static_cast<unsigned>(calendarDay.month()), static_cast<unsigned>(calendarDay.day()));
  return std::string(text);
}

std::optional<std::string> headerJson(const HeartbeatsPayload& payload) {
  json heartbeats = json::array();
  for (const auto& userAgentPayload : payload.userAgentPayloads) {
    json dates = json::array();
    for (platform::Date date : userAgentPayload.dates) {
      auto text = headerDate(date);
      if (!text) return std::nullopt;
      dates.push_back(std::move(*text));
    }
    heartbeats.push_back({{"agent", userAgentPayload.agent}, {"dates", std::move(dates)}});
  }
  try {
    return json{{"heartbeats", std::move(heartbeats)}, {"version", payload.version}}.dump();
  } catch (const json::exception&) {
    // An agent that is not UTF-8 has no JSON form.
    return std::nullopt;
  }
}

}  // namespace

const HeartbeatsPayload& HeartbeatsPayload::emptyPayload() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const HeartbeatsPayload& empty = *new HeartbeatsPayload;
  return empty;
}

std::string HeartbeatsPayload::headerValue() const {
  return detail::headerValue(
      *this, [](const platform::Bytes& data) { return CVUGzip::cvu_dataByGzippingData(data); });
}

namespace detail {

std::string headerValue(const HeartbeatsPayload& payload, const HeaderCompressor& compress) {
  const std::string text = headerJson(payload).value_or(std::string(kEmptyPayloadJson));
  const platform::Bytes plain(text.begin(), text.end());
  const std::optional<platform::Bytes> compressed = compress(plain);
  return platform::base64Encode(compressed ? *compressed : plain, platform::Base64Alphabet::UrlSafe,
                                platform::Base64Padding::Omit);
}

}  // namespace detail

static_assert(HTTPHeaderRepresentable<HeartbeatsPayload>);

}  // namespace beacon
