#include "platform/plist/KeyedArchive.h"
#include "platform/plist/PropertyList.h"

namespace platform {
namespace {

// Deeper nesting than any record of ours has; it also ends objects that refer to themselves.
constexpr int kMaxObjectDepth = 32;
using keyed_archive_detail::kDateClassName;
using keyed_archive_detail::kDateTimeKey;

// The index an object reference holds; nullopt when the value is not one.
std::optional<std::int64_t> referenceIndex(const Value& value) {
  const Dictionary* dictionary = value.asDictionary();
  if (!dictionary || dictionary->size() != 1) return std::nullopt;
  const Value* index = value.find(kObjectReferenceKey);
  if (!index || !index->asInteger()) return std::nullopt;
  return *index->asInteger();
}

// The class name of an object entry, renamed through the map; nullopt when the entry has none.
std::optional<std::string> classNameOf(const Array& objects, const Dictionary& fields,
                                       const std::map<std::string, std::string>& classNameMap) {
  auto classField = fields.find("$class");
  if (classField == fields.end()) return std::nullopt;
  std::optional<std::int64_t> index = referenceIndex(classField->second);
  if (!index || *index <= 0 || *index >= static_cast<std::int64_t>(objects.size())) return std::nullopt;
  const Value* name = objects[static_cast<std::size_t>(*index)].find("$classname");
  if (!name || !name->asString()) return std::nullopt;
  auto renamed = classNameMap.find(*name->asString());
  return renamed != classNameMap.end() ? renamed->second : *name->asString();
}

}  // namespace

namespace keyed_archive_detail {

Error unreadable(const std::string& why) {
  return Error(std::string(kKeyedArchiveErrorDomain), KeyedArchiveErrorCode::Unreadable,
               "The data couldn't be read because it isn't in the correct format: " + why);
}

Result<Root> openArchive(const Bytes& data, std::string_view className,
                         const std::map<std::string, std::string>& classNameMap) {
  Result<Value> read = readPropertyList(data, ObjectReferences::AsDictionaries);
  if (!read) return unreadable(read.error().description);
  Root root;
  root.archive = std::make_shared<const Value>(std::move(*read));
  const Value* objects = root.archive->find("$objects");
  const Value* top = root.archive->find("$top");
  if (!objects || !objects->asArray() || !top) return unreadable("no objects or no top entry");
  root.objects = objects->asArray();
  const Value* rootReference = top->find("root");
  std::optional<std::int64_t> index = rootReference ? referenceIndex(*rootReference) : std::nullopt;
  if (!index || *index <= 0 || *index >= static_cast<std::int64_t>(root.objects->size()))
    return unreadable("no root object");
  root.fields = (*root.objects)[static_cast<std::size_t>(*index)].asDictionary();
  if (!root.fields) return unreadable("the root is not an object");
  std::optional<std::string> rootClass = classNameOf(*root.objects, *root.fields, classNameMap);
  if (!rootClass || *rootClass != className)
    return unreadable("the root object is of class " + rootClass.value_or("(none)") + ", not " +
                      std::string(className));
  return root;
}

}  // namespace keyed_archive_detail

const Value* KeyedDecoder::referenced(std::string_view key) {
  auto field = fields_.find(key);
  if (field == fields_.end()) return nullptr;
  std::optional<std::int64_t> index = referenceIndex(field->second);
  if (!index) return nullptr;
  if (*index < 0 || *index >= static_cast<std::int64_t>(objects_.size())) {
    failed_ = true;
    return nullptr;
  }
  return *index == 0 ? nullptr : &objects_[static_cast<std::size_t>(*index)];
}

const Dictionary* KeyedDecoder::objectFields(std::string_view key, std::string_view className) {
  if (depth_ >= kMaxObjectDepth) {
    failed_ = true;
    return nullptr;
  }
  const Value* entry = referenced(key);
  if (!entry) return nullptr;
  const Dictionary* fields = entry->asDictionary();
  std::optional<std::string> entryClass =
      fields ? classNameOf(objects_, *fields, classNameMap_) : std::nullopt;
  if (!entryClass || *entryClass != className) {
    failed_ = true;
    return nullptr;
  }
  return fields;
}

bool KeyedDecoder::containsValueForKey(std::string_view key) const {
  return fields_.find(key) != fields_.end();
}

std::optional<std::string> KeyedDecoder::decodeString(std::string_view key) {
  const Value* entry = referenced(key);
  if (entry && entry->asString()) return *entry->asString();
  return std::nullopt;
}

std::optional<Bytes> KeyedDecoder::decodeBytes(std::string_view key) {
  const Value* entry = referenced(key);
  if (entry && entry->asBytes()) return *entry->asBytes();
  return std::nullopt;
}

std::optional<Date> KeyedDecoder::decodeDate(std::string_view key) {
  const Dictionary* fields = objectFields(key, kDateClassName);
  if (!fields) return std::nullopt;
  auto time = fields->find(kDateTimeKey);
  if (time == fields->end() || !time->second.isNumber()) return std::nullopt;
  return Date{time->second.doubleValue()};
}

std::int64_t KeyedDecoder::decodeInteger(std::string_view key) const {
  auto field = fields_.find(key);
  return field != fields_.end() && field->second.isNumber() ? field->second.integerValue() : 0;
}

double KeyedDecoder::decodeDouble(std::string_view key) const {
  auto field = fields_.find(key);
  return field != fields_.end() && field->second.isNumber() ? field->second.doubleValue() : 0;
}

bool KeyedDecoder::decodeBool(std::string_view key) const {
  auto field = fields_.find(key);
  return field != fields_.end() && field->second.isNumber() && field->second.boolValue();
}

}  // namespace platform
