#include "Velloran/services/AppStoreLookupService.h"

#include <charconv>
#include <map>

#include "Velloran/services/LookupReply.h"
#include "platform/dispatch/Queue.h"
#include "platform/net/Url.h"
#include "platform/text/Characters.h"

namespace velloran {
namespace {

using Apps = std::vector<AppStoreApp>;

std::vector<std::string> trimmedNonEmpty(const std::vector<std::string>& ids) {
  std::vector<std::string> result;
  for (const std::string& id : ids) {
    std::string trimmedID = platform::trimmed(id);
    if (!trimmedID.empty()) result.push_back(std::move(trimmedID));
  }
  return result;
}

std::string joined(const std::vector<std::string>& ids) {
  std::string text;
  for (const std::string& id : ids) {
    if (!text.empty()) text += ',';
    text += id;
  }
  return text;
}

// One optional "+" or "-", then decimal digits only, within the 64-bit range.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
  const bool hasSign = !text.empty() && (text.front() == '+' || text.front() == '-');
  const std::string_view digits = hasSign ? text.substr(1) : text;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  // from_chars reads a "-" but not a "+".
  const std::string_view number = text.front() == '-' ? text : digits;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
  return value;
}

platform::Result<Apps> appsFromReply(const platform::HttpResponse& response,
                                     const std::vector<std::string>& ids) {
  if (response.statusCode < 200 || response.statusCode > 299) {
    return LookupError::httpStatus(response.statusCode).error();
  }
  platform::Result<LookupResponse> decoded = decodeLookupResponse(response.bodyText());
  if (!decoded.ok()) return decoded.error();
  if (decoded->results.empty()) return LookupError::emptyResponse().error();

  std::map<std::int64_t, AppStoreApp> byTrackID;
  for (const LookupEntry& entry : decoded->results) {
    if (std::optional<AppStoreApp> app = makeAppStoreApp(entry)) byTrackID.insert_or_assign(app->id, *app);
  }
  Apps apps;
  for (const std::string& id : ids) {
    const std::optional<std::int64_t> trackID = decimalInteger(id);
    if (!trackID) continue;
    if (const auto found = byTrackID.find(*trackID); found != byTrackID.end()) apps.push_back(found->second);
  }
  return apps;
}

}  // namespace

AppStoreLookupService::AppStoreLookupService(std::shared_ptr<platform::HttpClient> client,
                                             std::string baseURL)
    : client_(std::move(client)), baseURL_(std::move(baseURL)) {}

void AppStoreLookupService::fetchApps(std::vector<std::string> ids, Completion<Apps> completion) {
  const auto finish = [&completion](platform::Result<Apps> result) {
    platform::mainQueue()->async([completion = std::move(completion), result = std::move(result)]() mutable {
      completion(std::move(result));
    });
  };

  std::vector<std::string> requested = trimmedNonEmpty(ids);
  if (requested.empty()) return finish(Apps{});

  std::string base = baseURL_;
  if (!base.empty() && base.back() == '/') base.pop_back();
  const std::optional<platform::Url> url =
      platform::Url::parse(base + "/lookup?id=" + platform::percentEncodeQueryValue(joined(requested)));
  if (!url || !url->isWeb()) return finish(LookupError::invalidURL().error());

  platform::HttpRequest request;
  request.url = url->string();
  request.maximumResponseBytes = kMaximumReplyBytes;
  client_->send(std::move(request), platform::mainQueue(),
                [requested = std::move(requested),
                 completion = std::move(completion)](platform::Result<platform::HttpResponse> reply) {
                  if (!reply.ok()) return completion(reply.error());
                  completion(appsFromReply(*reply, requested));
                });
}

}  // namespace velloran
