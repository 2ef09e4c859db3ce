#include "installations/BCNInstallationsRedaction.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/json/Json.h"

namespace beacon {
namespace {

bool namesSecret(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (std::string_view word : {"token", "key", "secret", "authorization"})
    if (lower.find(word) != std::string::npos) return true;
  return false;
}

// A string is secret when its own field's name says so (the items of a list share the list's name);
// the fields of an object decide each by their own name.
void redactSecretFields(platform::Value& value, bool secretName) {
  if (value.asString() && secretName) {
    value = platform::Value(kBCNInstallationsRedacted);
  } else if (platform::Dictionary* fields = value.asDictionary()) {
    for (auto& [name, field] : *fields) redactSecretFields(field, namesSecret(name));
  } else if (platform::Array* items = value.asArray()) {
    for (platform::Value& item : *items) redactSecretFields(item, secretName);
  }
}

// In one pass over a copy: replacing in place moves the rest of the text at every occurrence, which
// a reply echoing a secret throughout its whole size would make last minutes.
void replaceAll(std::string& text, const std::string& secret) {
  if (secret.empty()) return;
  std::string replaced;
  std::size_t copiedUpTo = 0;
  for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, copiedUpTo)) {
    replaced.append(text, copiedUpTo, at - copiedUpTo).append(kBCNInstallationsRedacted);
    copiedUpTo = at + secret.size();
  }
  if (copiedUpTo == 0) return;
  text = std::move(replaced.append(text, copiedUpTo));
}

// The media type of a "Content-Type" field ("text/plain" of "text/plain; charset=utf-8"), or nullopt
// when it is not one: a field the server filled with anything else is not shown either.
std::optional<std::string> mediaTypeOf(const std::optional<std::string>& contentType) {
  if (!contentType) return std::nullopt;
  std::string_view type = std::string_view(*contentType).substr(0, contentType->find(';'));
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.remove_prefix(1);
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
  const std::size_t slash = type.find('/');
  if (slash == std::string_view::npos || slash == 0 || slash + 1 == type.size() ||
      type.find('/', slash + 1) != std::string_view::npos)
    return std::nullopt;
  for (unsigned char c : type)
    if (!std::isalnum(c) &&
        std::string_view("/!#$&^_.+-").find(static_cast<char>(c)) == std::string_view::npos)
      return std::nullopt;
  return std::string(type);
}

}  // namespace

std::string BCNInstallationsRedactedBody(std::string_view body, const std::optional<std::string>& contentType,
                                         const std::vector<std::string>& knownSecrets) {
  platform::Result<platform::Value> json = platform::parseJson(body);
  std::optional<std::string> written;
  if (json && (json->asDictionary() || json->asArray())) {
    redactSecretFields(*json, false);
    if (platform::Result<std::string> text = platform::writeJson(*json)) written = std::move(*text);
  }
  if (!written) {
    std::optional<std::string> mediaType = mediaTypeOf(contentType);
    return "<" + std::to_string(body.size()) + " bytes, " + mediaType.value_or("no content type") + ">";
  }
  for (const std::string& secret : knownSecrets) replaceAll(*written, secret);
  return *written;
}

std::string BCNInstallationsRedactedHeaders(const platform::HttpHeaders& headers) {
  std::string text = "{";
  for (const auto& [name, value] : headers.fields()) {
    const bool secret =
        namesSecret(name) || platform::sameHeaderName(name, "x-corv-bis-ios-iid-migration-auth");
    text += (text.size() > 1 ? ", " : "") + name + ": " +
            (secret ? std::string(kBCNInstallationsRedacted) : value);
  }
  return text + "}";
}

}  // namespace beacon
