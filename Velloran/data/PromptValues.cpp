#include "Velloran/data/PromptValues.h"

#include <algorithm>

#include "Velloran/data/HashBuilder.h"

namespace velloran {

using data_detail::HashBuilder;
using platform::canonicallyEqual;

bool textListsEqual(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return std::ranges::equal(
      a, b, [](const std::string& x, const std::string& y) { return canonicallyEqual(x, y); });
}

bool parametersEqual(const PromptParameters& a, const PromptParameters& b) {
  if (a.size() != b.size()) return false;
  // The map's own operator== would compare the values byte for byte.
  return std::ranges::all_of(a, [&b](const auto& entry) {
    const auto match = b.find(entry.first);
    return match != b.end() && canonicallyEqual(entry.second, match->second);
  });
}

bool operator==(const PromptVersion& a, const PromptVersion& b) {
  return a.id == b.id && a.promptRef == b.promptRef && canonicallyEqual(a.content, b.content) &&
         canonicallyEqual(a.notes, b.notes) && a.versionNumber == b.versionNumber &&
         a.createdAt == b.createdAt;
}

bool operator==(const PromptRun& a, const PromptRun& b) {
  return a.id == b.id && a.promptRef == b.promptRef && a.versionRef == b.versionRef &&
         canonicallyEqual(a.input, b.input) && canonicallyEqual(a.output, b.output) &&
         canonicallyEqual(a.model, b.model) && parametersEqual(a.parameters, b.parameters) &&
         a.duration == b.duration && a.createdAt == b.createdAt;
}

bool operator==(const Snippet& a, const Snippet& b) {
  return a.id == b.id && canonicallyEqual(a.title, b.title) && canonicallyEqual(a.content, b.content) &&
         textListsEqual(a.tags, b.tags) && a.isFavorite == b.isFavorite && a.createdAt == b.createdAt;
}

bool operator==(const SmartFilter& a, const SmartFilter& b) {
  return a.id == b.id && canonicallyEqual(a.title, b.title) &&
         canonicallyEqual(a.predicateJSON, b.predicateJSON) && a.createdAt == b.createdAt;
}

const std::string& currentText(const Prompt& prompt) {
  static const std::string noText;
  return prompt.versions.empty() ? noText : prompt.versions.back().content;
}

bool operator==(const Prompt& a, const Prompt& b) {
  return a.id == b.id && canonicallyEqual(a.title, b.title) && a.type == b.type &&
         textListsEqual(a.tags, b.tags) && a.isSystem == b.isSystem && a.createdAt == b.createdAt &&
         a.updatedAt == b.updatedAt && a.versions == b.versions && a.runs == b.runs &&
         a.snippets == b.snippets;
}

namespace {

std::size_t hashText(const std::string& text) {
  return platform::canonicalHash(text);
}

// A sum of per-entry hashes does not depend on the order the map walks its entries.
std::size_t hashParameters(const PromptParameters& parameters) {
  std::size_t sum = 0;
  for (const auto& [key, value] : parameters) sum += HashBuilder().addText(key).addText(value).value();
  return HashBuilder().add(parameters.size()).add(sum).value();
}

}  // namespace

std::size_t hashValue(const PromptVersion& version) {
  return HashBuilder()
      .addUUID(version.id)
      .addUUID(version.promptRef)
      .addText(version.content)
      .addText(version.notes)
      .add(std::hash<std::int64_t>{}(version.versionNumber))
      .addDate(version.createdAt)
      .value();
}

std::size_t hashValue(const PromptRun& run) {
  HashBuilder builder;
  builder.addUUID(run.id).addUUID(run.promptRef).add(run.versionRef.has_value());
  if (run.versionRef) builder.addUUID(*run.versionRef);
  return builder.addText(run.input)
      .addText(run.output)
      .addText(run.model)
      .add(hashParameters(run.parameters))
      .addNumber(run.duration)
      .addDate(run.createdAt)
      .value();
}

std::size_t hashValue(const Snippet& snippet) {
  return HashBuilder()
      .addUUID(snippet.id)
      .addText(snippet.title)
      .addText(snippet.content)
      .addList(snippet.tags, hashText)
      .add(snippet.isFavorite)
      .addDate(snippet.createdAt)
      .value();
}

std::size_t hashValue(const SmartFilter& filter) {
  return HashBuilder()
      .addUUID(filter.id)
      .addText(filter.title)
      .addText(filter.predicateJSON)
      .addDate(filter.createdAt)
      .value();
}

std::size_t hashValue(const Prompt& prompt) {
  return HashBuilder()
      .addUUID(prompt.id)
      .addText(prompt.title)
      .add(std::hash<PromptType>{}(prompt.type))
      .addList(prompt.tags, hashText)
      .add(prompt.isSystem)
      .addDate(prompt.createdAt)
      .addDate(prompt.updatedAt)
      .addList(prompt.versions, [](const PromptVersion& v) { return hashValue(v); })
      .addList(prompt.runs, [](const PromptRun& r) { return hashValue(r); })
      .addList(prompt.snippets, [](const Snippet& s) { return hashValue(s); })
      .value();
}

}  // namespace velloran
