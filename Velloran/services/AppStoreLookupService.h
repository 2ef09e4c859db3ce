#pragma once
// The store's public lookup: fetches the records of applications by their store IDs with one GET of
// "<base URL>/lookup?id=<IDs joined by ','>" and turns the reply into AppStoreApp records.
//
// fetchApps:
//  - IDs are trimmed and empty ones dropped (order and repeats stay); with none left the result is
//    an empty list and nothing is sent.
//  - A base URL that does not make an http(s) URL fails with LookupError::invalidURL; the ID list
//    is escaped as one query value, so no ID can add query parameters.
//  - Transport failures come as the HTTP client's errors, a reply longer than kMaximumReplyBytes
//    among them (it is never decoded); a status outside 200-299 fails with
//    LookupError::httpStatus; an undecodable reply with the decoder's error (LookupReply.h); a
//    reply without results with LookupError::emptyResponse.
//  - The records follow the requested IDs: each ID read as a decimal integer ("+"/"-" and digits,
//    64-bit) picks the record with that track ID (the later one when the reply repeats it); IDs
//    that are no such number or missing from the reply give nothing, repeated IDs repeat their
//    record. Entries without a valid store-page URL are left out.
//
// Decoding runs on the main queue, where the completion also runs (AppDirectoryProviding). The
// service holds no mutable state.

#include <cstddef>
#include <memory>
#include <string>

#include "Velloran/services/AppDirectoryProviding.h"
#include "Velloran/services/LookupError.h"
#include "platform/net/HttpClient.h"

namespace velloran {

class AppStoreLookupService final : public AppDirectoryProviding {
 public:
  using LookupError = velloran::LookupError;

  static constexpr const char* kDefaultBaseURL = "https://lookup.app-store.example";
  // The largest reply taken; a longer one fails with the HTTP client's ResponseTooLarge.
  static constexpr std::size_t kMaximumReplyBytes = 1024u * 1024u;

  // `baseURL`: scheme and host (a path prefix too, if any), with or without a trailing "/".
  explicit AppStoreLookupService(std::shared_ptr<platform::HttpClient> client,
                                 std::string baseURL = kDefaultBaseURL);

  void fetchApps(std::vector<std::string> ids, Completion<std::vector<AppStoreApp>> completion) override;

 private:
  std::shared_ptr<platform::HttpClient> client_;
  std::string baseURL_;
};

}  // namespace velloran
