#include "measurement/engine/BMSDisplayNames.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSEventFunctions.h"
#include "measurement/engine/BMSEventParameterSanitizer.h"
#include "measurement/engine/BMSMonitor.h"
#include "platform/classdir/ClassDirectory.h"
#include "platform/text/Format.h"

namespace beacon {
namespace {

constexpr std::string_view kExperimentPrefix = "_exp_";
constexpr std::string_view kNestedIndent = "    ";

bool showsPublicNames() {
  return BMSIsDebugModeEnabled() && platform::ClassDirectory::shared().lookup("BCNAnalytics") != nullptr;
}

std::string lowerCased(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
  return lower;
}

std::string objectDescription(const BMSObject& object) {
  if (const BMSValue* value = std::get_if<BMSValue>(&object)) return value->description();
  return std::get<platform::Value>(object).description();
}

platform::Value plainObject(const BMSObject& object) {
  if (const BMSValue* value = std::get_if<BMSValue>(&object)) return BMSPlainValue(*value);
  return std::get<platform::Value>(object);
}

std::string valueText(std::string_view name, const BMSObject& object) {
  if (const BMSValue* value = std::get_if<BMSValue>(&object)) {
    if (value->isArray()) return BMSArrayDescription(*value->arrayValue());
    if (name == "_err" && value->isInt64()) {
      const auto named = BMSErrorCodeNames().find(value->int64Value());
      if (named != BMSErrorCodeNames().end())
        return platform::format("%@ (%@)", named->second, value->int64Value());
      return std::to_string(value->int64Value());
    }
  }
  if (const platform::Value* plain = std::get_if<platform::Value>(&object); plain && plain->isArray()) {
    BMSValueItems items;
    for (const platform::Value& element : *plain->asArray()) items.elements.push_back(element);
    return BMSArrayDescription(items);
  }
  return objectDescription(object);
}

}  // namespace

bool BMSIsDebugModeEnabled() {
  const auto monitor = std::dynamic_pointer_cast<BMSMonitor>(BMSEngineServices::logSink());
  return monitor && monitor->isDebugModeEnabled();
}

std::string BMSNameForDisplay(std::string_view name, const BMSNameTable& publicToInternal) {
  if (name.empty() || publicToInternal.empty() || BMSIsPublicNameText(name) || !showsPublicNames()) {
    return std::string(name);
  }
  const std::string* chosen = nullptr;
  for (const auto& [publicName, internalName] : publicToInternal) {
    if (internalName != name) continue;
    if (!publicName.starts_with("beacon_")) {
      chosen = &publicName;
      break;
    }
    chosen = &publicName;  // the last "beacon_" spelling, unless a plain one turns up
  }
  if (!chosen) return std::string(name);
  return platform::format("%@ (%@)", *chosen, name);
}

std::string BMSEventNameForDisplay(std::string_view name) {
  return BMSNameForDisplay(name, BMSPublicToInternalEventNames());
}

std::string BMSParameterNameForDisplay(std::string_view name) {
  return BMSNameForDisplay(name, BMSParameterNameAliases());
}

std::string BMSUserPropertyNameForDisplay(std::string_view name) {
  if (name.starts_with(kExperimentPrefix)) return platform::format("%@ (%@)", "experiment_id", name);
  return BMSNameForDisplay(name, BMSPublicToInternalUserPropertyNames());
}

std::string BMSParametersDescription(const BMSParameters& parameters) {
  return BMSParametersDescriptionWithIndent(parameters, "");
}

std::string BMSParametersDescriptionWithIndent(const BMSParameters& parameters, std::string_view indent) {
  if (!BMSIsDebugModeEnabled()) {
    platform::Dictionary plain;
    for (const auto& [name, object] : parameters) plain.emplace(name, plainObject(object));
    return platform::Value(std::move(plain)).description();
  }
  std::vector<std::string> lines;
  for (const auto& [name, object] : parameters) {
    lines.push_back(platform::format("%@    %@ = %@;\n", indent, BMSParameterNameForDisplay(name),
                                     valueText(name, object)));
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const std::string& a, const std::string& b) { return lowerCased(a) < lowerCased(b); });
  std::string description = std::string(indent) + "{\n";
  for (const std::string& line : lines) description += line;
  return description + std::string(indent) + "}";
}

std::string BMSArrayDescription(const BMSValueItems& items) {
  std::string description = "[\n";
  for (std::size_t i = 0; i < items.elements.size(); ++i) {
    if (i > 0) description += ",\n";
    const std::optional<BMSParameters> item = BMSItemDictionary(items.elements[i]);
    description += BMSParametersDescriptionWithIndent(item.value_or(BMSParameters{}), kNestedIndent);
  }
  return description + "\n" + std::string(kNestedIndent) + "]";
}

}  // namespace beacon
