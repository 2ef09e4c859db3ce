#pragma once
// Absolute URLs, checked strictly before anything is fetched or handed to the desktop.
//
// parse() accepts only an absolute URL made of the characters a URL may carry: a scheme, an
// optional "//" authority (user info, host, numeric port), a path, a query and a fragment, where
// every "%" starts a two-digit hex escape. Text with spaces, control characters, non-ASCII bytes or
// other characters that would need escaping is refused, as is a relative reference. The accepted
// text is kept exactly as given; the scheme and host are also kept lower-cased for comparisons.
//
// Plain values, safe on any thread.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Url {
 public:
  static std::optional<Url> parse(std::string_view text);

  // The text the URL was parsed from.
  const std::string& string() const { return text_; }
  // Lower-cased, without the ":".
  const std::string& scheme() const { return scheme_; }
  // Lower-cased; empty when the URL has no authority or an empty host.
  const std::string& host() const { return host_; }
  // An "http" or "https" URL with a host: the only kind this system fetches or opens from data it
  // received.
  bool isWeb() const;

  friend bool operator==(const Url& a, const Url& b) { return a.text_ == b.text_; }

 private:
  Url(std::string text, std::string scheme, std::string host);

  std::string text_;
  std::string scheme_;
  std::string host_;
};

// `value` escaped for use as one query value: everything but letters, digits, "-", ".", "_", "~"
// and "," becomes %XX (upper-case hex), so "&", "=", "+", "#" and spaces cannot change the query's
// meaning. The comma stays readable because list-valued parameters are joined with it.
std::string percentEncodeQueryValue(std::string_view value);

}  // namespace platform
