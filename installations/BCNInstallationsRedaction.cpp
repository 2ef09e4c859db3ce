#include "installations/BCNInstallationsRedaction.h"

#include <algorithm>
#include <cctype>

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

void replaceAll(std::string& text, const std::string& secret) {
  if (secret.empty()) return;
  const std::string replacement = kBCNInstallationsRedacted;
  for (std::size_t at = text.find(secret); at != std::string::npos;
       at = text.find(secret, at + replacement.size()))
    text.replace(at, secret.size(), replacement);
}

}  // namespace

std::string BCNInstallationsRedactedText(std::string_view text,
                                         const std::vector<std::string>& knownSecrets) {
  std::string redacted(text);
  if (platform::Result<platform::Value> json = platform::parseJson(text)) {
    redactSecretFields(*json, false);
    if (platform::Result<std::string> written = platform::writeJson(*json)) redacted = std::move(*written);
  }
  for (const std::string& secret : knownSecrets) replaceAll(redacted, secret);
  return redacted;
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
