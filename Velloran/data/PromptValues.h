#pragma once
// The value model of the prompt library: a Prompt with its versions, runs and snippets, and the
// SmartFilter record. Plain values: copied on assignment, owning all their members, identified only
// by their `id` field, built member-wise from all fields in declaration order (aggregate
// initialisation). Safe to pass between threads.
//
// A prompt's text is not a field of Prompt: it is the `content` of its versions, newest last.
//
// Equality is member-wise, with strings compared by Unicode canonical equivalence (a precomposed
// "ü" equals "u" followed by a combining diaeresis; case still counts), lists compared in order,
// `parameters` compared without regard to order, dates as instants and numbers as floating point.
// Hashing follows the same rules, so equal values hash equally. The keyed JSON form lives in
// PromptCoding.h.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Velloran/data/PromptType.h"
#include "platform/identity/UUID.h"
#include "platform/text/Normalization.h"
#include "platform/value/Value.h"

namespace velloran {

// Further settings of a run. Keys are matched by canonical equivalence, so two spellings of the
// same key are one entry.
using PromptParameters =
    std::unordered_map<std::string, std::string, platform::CanonicalHash, platform::CanonicalEqual>;

struct PromptVersion {
  platform::UUID id;
  platform::UUID promptRef;  // the owning prompt's id
  std::string content;       // the full prompt text of this version
  std::string notes;
  std::int64_t versionNumber = 1;  // 1 for the first version, counting up
  platform::Date createdAt;
};

struct PromptRun {
  platform::UUID id;
  platform::UUID promptRef;
  std::optional<platform::UUID> versionRef;  // the version that was run, when known
  std::string input;
  std::string output;
  std::string model;
  PromptParameters parameters;
  double duration = 0;
  platform::Date createdAt;
};

struct Snippet {
  platform::UUID id;
  std::string title;
  std::string content;
  std::vector<std::string> tags;
  bool isFavorite = false;
  platform::Date createdAt;
};

struct SmartFilter {
  platform::UUID id;
  std::string title;
  std::string predicateJSON;  // the filter's condition as JSON text; nothing reads it yet
  platform::Date createdAt;
};

struct Prompt {
  platform::UUID id;
  std::string title;
  PromptType type;
  std::vector<std::string> tags;  // in the order the user entered them
  bool isSystem = false;
  platform::Date createdAt;
  platform::Date updatedAt;  // repositories list prompts by it, newest first
  std::vector<PromptVersion> versions;
  std::vector<PromptRun> runs;
  std::vector<Snippet> snippets;
};

// The text of the prompt's current (last) version; empty when it has none.
const std::string& currentText(const Prompt& prompt);

bool operator==(const PromptVersion& a, const PromptVersion& b);
bool operator==(const PromptRun& a, const PromptRun& b);
bool operator==(const Snippet& a, const Snippet& b);
bool operator==(const SmartFilter& a, const SmartFilter& b);
bool operator==(const Prompt& a, const Prompt& b);

// The same entries with canonically equal values, in any order.
bool parametersEqual(const PromptParameters& a, const PromptParameters& b);
// Ordered lists of text: same length, canonically equal at every position.
bool textListsEqual(const std::vector<std::string>& a, const std::vector<std::string>& b);

std::size_t hashValue(const PromptVersion& version);
std::size_t hashValue(const PromptRun& run);
std::size_t hashValue(const Snippet& snippet);
std::size_t hashValue(const SmartFilter& filter);
std::size_t hashValue(const Prompt& prompt);

}  // namespace velloran

template <>
struct std::hash<velloran::PromptVersion> {
  std::size_t operator()(const velloran::PromptVersion& v) const { return velloran::hashValue(v); }
};
template <>
struct std::hash<velloran::PromptRun> {
  std::size_t operator()(const velloran::PromptRun& v) const { return velloran::hashValue(v); }
};
template <>
struct std::hash<velloran::Snippet> {
  std::size_t operator()(const velloran::Snippet& v) const { return velloran::hashValue(v); }
};
template <>
struct std::hash<velloran::SmartFilter> {
  std::size_t operator()(const velloran::SmartFilter& v) const { return velloran::hashValue(v); }
};
template <>
struct std::hash<velloran::Prompt> {
  std::size_t operator()(const velloran::Prompt& v) const { return velloran::hashValue(v); }
};
