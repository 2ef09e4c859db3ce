#include <functional>
#include <map>

#include "platform/plist/KeyedArchive.h"
#include "platform/plist/PropertyList.h"

namespace platform {
namespace {

constexpr std::int64_t kArchiveVersion = 100000;
constexpr const char* kArchiverName = "KeyedArchiver";
using keyed_archive_detail::kDateClassName;
using keyed_archive_detail::kDateTimeKey;

Value reference(std::size_t index) {
  return Dictionary{{std::string(kObjectReferenceKey), static_cast<std::int64_t>(index)}};
}

}  // namespace

// The growing "$objects" list and the class entries already in it.
struct KeyedEncoder::Archive {
  Array objects{Value("$null")};
  std::map<std::string, std::size_t> classes;

  std::size_t add(Value entry) {
    objects.push_back(std::move(entry));
    return objects.size() - 1;
  }

  std::size_t classEntry(const std::string& name) {
    auto found = classes.find(name);
    if (found != classes.end()) return found->second;
    std::size_t index = add(Dictionary{{"$classname", name}, {"$classes", Array{Value(name)}}});
    classes.emplace(name, index);
    return index;
  }

  // The object's entry, made before its fields so the root always sits at index 1.
  std::size_t addObject(const std::string& className,
                        const std::function<void(KeyedEncoder&)>& encodeFields) {
    std::size_t index = add(Dictionary{});
    Dictionary fields;
    KeyedEncoder encoder(*this, fields);
    encodeFields(encoder);
    fields["$class"] = reference(classEntry(className));
    objects[index] = std::move(fields);
    return index;
  }
};

void KeyedEncoder::encodeString(std::string_view key, const std::optional<std::string>& text) {
  if (text) fields_[std::string(key)] = reference(archive_.add(*text));
}

void KeyedEncoder::encodeBytes(std::string_view key, const std::optional<Bytes>& bytes) {
  if (bytes) fields_[std::string(key)] = reference(archive_.add(*bytes));
}

void KeyedEncoder::encodeDate(std::string_view key, const std::optional<Date>& date) {
  if (!date) return;
  std::size_t index = archive_.addObject(std::string(kDateClassName), [&](KeyedEncoder& coder) {
    coder.encodeDouble(kDateTimeKey, date->secondsSinceReferenceDate);
  });
  fields_[std::string(key)] = reference(index);
}

void KeyedEncoder::encodeInteger(std::string_view key, std::int64_t number) {
  fields_[std::string(key)] = number;
}

void KeyedEncoder::encodeDouble(std::string_view key, double number) {
  fields_[std::string(key)] = number;
}

void KeyedEncoder::encodeBool(std::string_view key, bool flag) {
  fields_[std::string(key)] = flag;
}

void KeyedEncoder::encodeObject(std::string_view key, const KeyedCodable* object) {
  if (!object) return;
  std::size_t index = archive_.addObject(object->archivedClassName(),
                                         [&](KeyedEncoder& coder) { object->encodeWithCoder(coder); });
  fields_[std::string(key)] = reference(index);
}

Result<Bytes> archivedData(const KeyedCodable& root) {
  KeyedEncoder::Archive archive;
  archive.addObject(root.archivedClassName(), [&](KeyedEncoder& coder) { root.encodeWithCoder(coder); });
  Dictionary top{{"$archiver", kArchiverName},
                 {"$version", kArchiveVersion},
                 {"$top", Dictionary{{"root", reference(1)}}},
                 {"$objects", std::move(archive.objects)}};
  Result<Bytes> data = writePropertyList(top, PropertyListFormat::Binary, ObjectReferences::AsDictionaries);
  if (!data) {
    return Error(std::string(kKeyedArchiveErrorDomain), KeyedArchiveErrorCode::Unwritable,
                 "the object cannot be archived: " + data.error().description);
  }
  return data;
}

}  // namespace platform
