#include "platform/keychain/KeychainAttributes.h"

#include "platform/value/Base64.h"

namespace platform::keychain_detail {
namespace {

void put(AttributeMap& map, const char* name, const std::optional<std::string>& value) {
  if (value) map[name] = *value;
}
void put(AttributeMap& map, const char* name, const std::optional<Bytes>& value) {
  if (value) map[name] = base64Encode(*value);
}
void put(AttributeMap& map, const char* name, const std::optional<std::int64_t>& value) {
  if (value) map[name] = std::to_string(*value);
}

const char* classText(KeychainItemClass itemClass) {
  return itemClass == KeychainItemClass::Key ? "key" : "genp";
}

}  // namespace

AttributeMap attributesOf(const KeychainQuery& query) {
  AttributeMap map;
  map["class"] = classText(query.itemClass);
  put(map, "service", query.service);
  put(map, "account", query.account);
  put(map, "accessGroup", query.accessGroup);
  put(map, "generic", query.generic);
  put(map, "applicationTag", query.applicationTag);
  put(map, "keyType", query.keyType);
  put(map, "keyClass", query.keyClass);
  put(map, "accessibility", query.accessibility);
  return map;
}

const std::vector<const char*>& identifyingNames(const AttributeMap& attributes) {
  // Never destroyed, like every such static in this file: SDK queues may still use them while
  // the process's exit handlers run.
  static const std::vector<const char*>& kGenericPassword =
      *new std::vector<const char*>{"class", "service", "account", "accessGroup"};
  static const std::vector<const char*>& kKey =
      *new std::vector<const char*>{"class", "applicationTag", "keyType", "keyClass"};
  auto itemClass = attributes.find("class");
  bool isKey = itemClass != attributes.end() && itemClass->second == classText(KeychainItemClass::Key);
  return isKey ? kKey : kGenericPassword;
}

AttributeMap identifyingAttributes(const AttributeMap& attributes) {
  AttributeMap identity;
  for (const char* name : identifyingNames(attributes)) {
    auto found = attributes.find(name);
    if (found != attributes.end()) identity.insert(*found);
  }
  return identity;
}

bool matches(const AttributeMap& item, const AttributeMap& query) {
  for (const auto& [name, value] : query) {
    auto found = item.find(name);
    if (found == item.end() || found->second != value) return false;
  }
  return true;
}

}  // namespace platform::keychain_detail
