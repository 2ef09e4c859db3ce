#pragma once
// Keyed archives: objects written as a binary property list in the keyed-archive layout, and read
// back only as the classes the reader asks for.
//
// Layout: {"$archiver", "$version": 100000, "$top": {"root": ref}, "$objects": [...]}. Every object
// is a dictionary in "$objects" holding its coded fields and "$class", a reference to a class entry
// {"$classname", "$classes"}; "$objects"[0] is "$null". Integers, doubles and bools sit inline in
// their object; strings, data, dates and nested objects are entries of their own, referred to by an
// object reference (see ObjectReferences in PropertyList.h).
//
// Reading is defensive: the data comes from storage that other software or damage may have touched.
// Anything that does not follow the layout, refers out of range, nests too deeply, or holds an
// object of another class than the one asked for fails with kKeyedArchiveErrorDomain /
// KeyedArchiveErrorCode::Unreadable; nothing throws.
//
// Pure functions and short-lived coder objects, safe from any thread.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/value/Value.h"

namespace platform {

inline constexpr std::string_view kKeyedArchiveErrorDomain = "platform.keyedarchive";

namespace keyed_archive_detail {
// A date is archived as an object of this class holding its seconds since the reference date.
inline constexpr std::string_view kDateClassName = "Date";
inline constexpr std::string_view kDateTimeKey = "time";
}  // namespace keyed_archive_detail

struct KeyedArchiveErrorCode {
  enum : std::int64_t {
    Unreadable = 4864,  // not a keyed archive of the expected class
    Unwritable = 4866,  // a value that has no property-list form
  };
};

class KeyedEncoder;
class KeyedDecoder;

// A class whose objects can be archived.
class KeyedCodable {
 public:
  virtual ~KeyedCodable() = default;
  // The name written into the archive's class entry.
  virtual std::string archivedClassName() const = 0;
  virtual void encodeWithCoder(KeyedEncoder& coder) const = 0;
};

// Collects one object's fields while it encodes itself. An absent optional writes nothing.
class KeyedEncoder {
 public:
  void encodeString(std::string_view key, const std::optional<std::string>& text);
  void encodeBytes(std::string_view key, const std::optional<Bytes>& bytes);
  void encodeDate(std::string_view key, const std::optional<Date>& date);
  void encodeInteger(std::string_view key, std::int64_t number);
  void encodeDouble(std::string_view key, double number);
  void encodeBool(std::string_view key, bool flag);
  void encodeObject(std::string_view key, const KeyedCodable* object);

 private:
  friend Result<Bytes> archivedData(const KeyedCodable& root);
  struct Archive;
  KeyedEncoder(Archive& archive, Dictionary& fields) : archive_(archive), fields_(fields) {}

  Archive& archive_;
  Dictionary& fields_;
};

// Reads one object's fields. Getters give nothing (or zero) for an absent key or a value of another
// kind; a damaged reference marks the whole read as failed.
class KeyedDecoder {
 public:
  bool containsValueForKey(std::string_view key) const;
  std::optional<std::string> decodeString(std::string_view key);
  std::optional<Bytes> decodeBytes(std::string_view key);
  std::optional<Date> decodeDate(std::string_view key);
  std::int64_t decodeInteger(std::string_view key) const;
  double decodeDouble(std::string_view key) const;
  bool decodeBool(std::string_view key) const;

  // The nested object under `key` decoded as T (see unarchivedObject), or null.
  template <class T>
  std::shared_ptr<T> decodeObject(std::string_view key) {
    const Dictionary* fields = objectFields(key, T::kArchivedClassName);
    if (!fields) return nullptr;
    KeyedDecoder nested(objects_, *fields, classNameMap_, depth_ + 1, failed_);
    return T::initWithCoder(nested);
  }

  // Whether anything met so far broke the layout.
  bool failed() const { return failed_; }

  // Made by unarchivedObject and by decodeObject for nested objects.
  KeyedDecoder(const Array& objects, const Dictionary& fields,
               const std::map<std::string, std::string>& classNameMap, int depth, bool& failed)
      : objects_(objects), fields_(fields), classNameMap_(classNameMap), depth_(depth), failed_(failed) {}

 private:
  // The entry a field refers to; null for "$null", for an absent key, or (marking the failure) for
  // a reference out of range.
  const Value* referenced(std::string_view key);
  // The fields of the object under `key` when it is of `className`; null otherwise.
  const Dictionary* objectFields(std::string_view key, std::string_view className);

  const Array& objects_;
  const Dictionary& fields_;
  const std::map<std::string, std::string>& classNameMap_;
  int depth_;
  bool& failed_;
};

// The archive of `root`.
Result<Bytes> archivedData(const KeyedCodable& root);

namespace keyed_archive_detail {
// The root object's fields after checking the layout and that its class, renamed through
// `classNameMap` (archived name → name to read as), is `className`.
struct Root {
  std::shared_ptr<const Value> archive;
  const Array* objects = nullptr;
  const Dictionary* fields = nullptr;
};
Result<Root> openArchive(const Bytes& data, std::string_view className,
                         const std::map<std::string, std::string>& classNameMap);
Error unreadable(const std::string& why);
}  // namespace keyed_archive_detail

// Reads the root object as T, which provides `static constexpr std::string_view kArchivedClassName`
// and `static std::shared_ptr<T> initWithCoder(KeyedDecoder&)` (null when the fields do not make an
// object). `classNameMap` lets archives written under an older class name be read as T.
template <class T>
Result<std::shared_ptr<T>> unarchivedObject(const Bytes& data,
                                            const std::map<std::string, std::string>& classNameMap = {}) {
  Result<keyed_archive_detail::Root> root =
      keyed_archive_detail::openArchive(data, T::kArchivedClassName, classNameMap);
  if (!root) return root.error();
  bool failed = false;
  KeyedDecoder decoder(*root->objects, *root->fields, classNameMap, 0, failed);
  std::shared_ptr<T> object = T::initWithCoder(decoder);
  if (failed || !object) return keyed_archive_detail::unreadable("the archive's objects do not decode");
  return object;
}

}  // namespace platform
