#include "bench/JournalPrompts.h"

#include "Velloran/persistence/VelloranModel.h"
#include "platform/mirror/JournalEntry.h"

namespace velloran {

std::vector<std::string> journalPromptLines(const platform::UUID& device, std::int64_t clock,
                                            std::size_t index, std::size_t textBytes) {
  const platform::UUID prompt = platform::UUID::random();
  const platform::UUID version = platform::UUID::random();
  const platform::Date date{700000000.0 + static_cast<double>(index)};
  platform::JournalEntry promptEntry;
  promptEntry.stamp = platform::RecordStamp{clock, device};
  promptEntry.entity = std::string(model::kPromptEntity);
  promptEntry.record = prompt;
  promptEntry.fields.attributes = {
      {std::string(model::kId), platform::AttributeValue(prompt)},
      {std::string(model::kTitle), platform::AttributeValue("Prompt " + std::to_string(index))},
      {std::string(model::kType), platform::AttributeValue(std::string("user"))},
      {std::string(model::kTags), platform::AttributeValue(platform::Bytes{'[', ']'})},
      {std::string(model::kIsSystem), platform::AttributeValue(false)},
      {std::string(model::kCreatedAt), platform::AttributeValue(date)},
      {std::string(model::kUpdatedAt), platform::AttributeValue(date)}};
  platform::JournalEntry versionEntry;
  versionEntry.stamp = platform::RecordStamp{clock + 1, device};
  versionEntry.entity = std::string(model::kVersionEntity);
  versionEntry.record = version;
  versionEntry.fields.attributes = {
      {std::string(model::kId), platform::AttributeValue(version)},
      {std::string(model::kPromptRef), platform::AttributeValue(prompt)},
      {std::string(model::kContent), platform::AttributeValue(std::string(textBytes, 'a' + index % 26))},
      {std::string(model::kNotes), platform::AttributeValue(std::string())},
      {std::string(model::kVersionNumber), platform::AttributeValue(std::int64_t{1})},
      {std::string(model::kCreatedAt), platform::AttributeValue(date)}};
  versionEntry.fields.references = {{std::string(model::kPrompt), prompt}};
  return {platform::encodeJournalLine(promptEntry), platform::encodeJournalLine(versionEntry)};
}

}  // namespace velloran
