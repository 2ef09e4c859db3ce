#pragma once
// Internal to the keychain layer: the one flat form of a query that both stores keep and match, a
// map of attribute names to texts. Bytes become Base64 text and numbers decimal text, so the map
// can go as it is into a Secret Service item and into the file store.

#include <map>
#include <string>
#include <vector>

#include "platform/keychain/Keychain.h"

namespace platform::keychain_detail {

using AttributeMap = std::map<std::string, std::string>;

// Every attribute the query names, the item class included.
AttributeMap attributesOf(const KeychainQuery& query);
// The names of the attributes that identify an item of the class the attributes name.
const std::vector<const char*>& identifyingNames(const AttributeMap& attributes);
// Only those that identify an item of its class. Two items are the same item when these are equal,
// attributes absent on both sides included.
AttributeMap identifyingAttributes(const AttributeMap& attributes);
// True when the item has every attribute of the query with the same value.
bool matches(const AttributeMap& item, const AttributeMap& query);

}  // namespace platform::keychain_detail
