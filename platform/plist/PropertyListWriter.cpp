#include <cmath>
#include <limits>
#include <vector>

#include "platform/plist/PlistNode.h"
#include "platform/plist/PropertyList.h"

namespace platform {
namespace {

using plist_detail::OwnedNode;

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF) without NUL: the
// library stores strings as C strings and would cut them at the first NUL.
bool isWritableText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead == 0) return false;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    int extra = 0;
    std::uint32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallestForLength[] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallestForLength[extra] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

class NodeBuilder {
 public:
  explicit NodeBuilder(ObjectReferences references) : references_(references) {}

  // The node for the value, or nullptr with failure() describing why.
  plist_t build(const Value& value) {
    switch (value.kind()) {
      case Value::Kind::Null:
        return fail("property lists cannot hold null");
      case Value::Kind::Bool:
        return plist_new_bool(*value.asBool());
      case Value::Kind::Integer:
        return plist_new_uint(static_cast<std::uint64_t>(*value.asInteger()));
      case Value::Kind::Double:
        return plist_new_real(*value.asDouble());
      case Value::Kind::String:
        if (!isWritableText(*value.asString())) return fail("the string is not valid UTF-8 or contains NUL");
        return plist_new_string(value.asString()->c_str());
      case Value::Kind::Bytes:
        return plist_new_data(reinterpret_cast<const char*>(value.asBytes()->data()),
                              value.asBytes()->size());
      case Value::Kind::Date: {
        plist_t node = plist_detail::newDateNode(*value.asDate());
        return node ? node : fail("the date lies outside 1932-12-13 to 2069-01-19: " + value.description());
      }
      case Value::Kind::Array:
        return buildArray(*value.asArray());
      case Value::Kind::Dictionary:
        return buildDictionary(*value.asDictionary());
    }
    return fail("unknown value kind");
  }

  Error failure() const {
    std::string where = path_.empty() ? "the top level" : path_;
    return Error(std::string(kPropertyListErrorDomain), PropertyListErrorCode::Unrepresentable,
                 failure_ + " (at " + where + ")", Dictionary{{"keyPath", where}});
  }

 private:
  plist_t fail(std::string reason) {
    failure_ = std::move(reason);
    return nullptr;
  }

  plist_t buildArray(const Array& array) {
    OwnedNode node(plist_new_array());
    for (std::size_t i = 0; i < array.size(); ++i) {
      std::size_t mark = path_.size();
      path_ += "[" + std::to_string(i) + "]";
      plist_t child = build(array[i]);
      if (!child) return nullptr;
      path_.resize(mark);
      plist_array_append_item(node.get(), child);
    }
    return node.release();
  }

  plist_t buildDictionary(const Dictionary& dictionary) {
    if (references_ == ObjectReferences::AsDictionaries && dictionary.size() == 1) {
      auto uid = dictionary.find(kObjectReferenceKey);
      // The binary encoding keeps 32 bits of a reference; a larger number stays a dictionary
      // rather than coming back as another object's number.
      if (uid != dictionary.end() && uid->second.asInteger() && *uid->second.asInteger() >= 0 &&
          *uid->second.asInteger() <= std::numeric_limits<std::uint32_t>::max())
        return plist_new_uid(static_cast<std::uint64_t>(*uid->second.asInteger()));
    }
    OwnedNode node(plist_new_dict());
    for (const auto& [key, element] : dictionary) {
      std::size_t mark = path_.size();
      path_ += (path_.empty() ? "" : ".") + key;
      if (!isWritableText(key)) return fail("the key is not valid UTF-8 or contains NUL");
      plist_t child = build(element);
      if (!child) return nullptr;
      path_.resize(mark);
      plist_dict_set_item(node.get(), key.c_str(), child);
    }
    return node.release();
  }

  ObjectReferences references_;
  // Where the walk is, kept on failure so the error can name the offending entry.
  std::string path_;
  std::string failure_;
};

}  // namespace

Result<Bytes> writePropertyList(const Value& value, PropertyListFormat format, ObjectReferences references) {
  NodeBuilder builder(references);
  OwnedNode root(builder.build(value));
  if (!root) return builder.failure();

  char* output = nullptr;
  std::uint32_t length = 0;
  if (format == PropertyListFormat::Xml) {
    plist_to_xml(root.get(), &output, &length);
  } else {
    plist_to_bin(root.get(), &output, &length);
  }
  if (!output) {
    return Error(std::string(kPropertyListErrorDomain), PropertyListErrorCode::Unrepresentable,
                 "the property list could not be encoded");
  }
  Bytes bytes(output, output + length);
  format == PropertyListFormat::Xml ? plist_to_xml_free(output) : plist_to_bin_free(output);
  return bytes;
}

}  // namespace platform
