#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/plist/PlistNode.h"
#include "platform/plist/PropertyList.h"
#include "platform/plist/RawPropertyListCheck.h"

namespace platform {
namespace {

using plist_detail::OwnedNode;

// Deep enough for any real document, shallow enough that the recursion below cannot exhaust the
// stack on hostile input.
constexpr int kMaxDepth = 512;

// The most bytes the library underneath takes in one document.
constexpr std::uint64_t kLargestPropertyList = std::numeric_limits<std::uint32_t>::max();

Error malformed(std::string description) {
  return Error(std::string(kPropertyListErrorDomain), PropertyListErrorCode::Malformed,
               std::move(description));
}

Result<Value> toValue(plist_t node, int depth, ObjectReferences references);

Result<Value> arrayToValue(plist_t node, int depth, ObjectReferences references) {
  Array array;
  std::uint32_t count = plist_array_get_size(node);
  array.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    Result<Value> element = toValue(plist_array_get_item(node, i), depth + 1, references);
    if (!element) return element.error();
    array.push_back(std::move(*element));
  }
  return Value(std::move(array));
}

Result<Value> dictionaryToValue(plist_t node, int depth, ObjectReferences references) {
  Dictionary dictionary;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(node, &iterator);
  std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
  while (true) {
    char* rawKey = nullptr;
    plist_t child = nullptr;
    plist_dict_next_item(node, iterator, &rawKey, &child);
    std::unique_ptr<char, decltype(&std::free)> key(rawKey, &std::free);
    if (!child) break;
    Result<Value> element = toValue(child, depth + 1, references);
    if (!element) return element.error();
    dictionary.insert_or_assign(std::string(key ? key.get() : ""), std::move(*element));
  }
  return Value(std::move(dictionary));
}

Result<Value> toValue(plist_t node, int depth, ObjectReferences references) {
  if (depth > kMaxDepth) return malformed("the property list is nested too deeply");
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t flag = 0;
      plist_get_bool_val(node, &flag);
      return Value(flag != 0);
    }
    case PLIST_UINT:
      return plist_detail::readIntegerNode(node);
    case PLIST_REAL: {
      double number = 0;
      plist_get_real_val(node, &number);
      return Value(number);
    }
    case PLIST_STRING: {
      std::uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      return Value(std::string(text ? text : "", text ? length : 0));
    }
    case PLIST_DATA: {
      std::uint64_t length = 0;
      const char* data = plist_get_data_ptr(node, &length);
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
      return Value(data ? Bytes(bytes, bytes + length) : Bytes());
    }
    case PLIST_DATE: {
      std::optional<Date> date = plist_detail::readDateNode(node);
      if (!date) return malformed("the property list holds a date that cannot be read");
      return Value(*date);
    }
    case PLIST_ARRAY:
      return arrayToValue(node, depth, references);
    case PLIST_DICT:
      return dictionaryToValue(node, depth, references);
    case PLIST_UID: {
      if (references == ObjectReferences::Refused) break;
      std::uint64_t uid = 0;
      plist_get_uid_val(node, &uid);
      return Value(Dictionary{{std::string(kObjectReferenceKey), static_cast<std::int64_t>(uid)}});
    }
    default:
      break;
  }
  return Error(std::string(kPropertyListErrorDomain), PropertyListErrorCode::Unrepresentable,
               "the property list holds an object reference or key where a value belongs");
}

// The file at `path` open for reading, or null with errno set; anything but a file (links followed) is
// EINVAL: a pipe would hold the open or the read until a writer came, a device could be read without
// end. O_NONBLOCK keeps the open of a pipe from waiting; on a file it changes nothing.
std::FILE* openFileOnly(const std::filesystem::path& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  struct stat status {};
  const bool inspected = ::fstat(fd, &status) == 0;
  std::FILE* file = inspected && S_ISREG(status.st_mode) ? ::fdopen(fd, "rb") : nullptr;
  if (file) return file;
  const int reason = inspected && !S_ISREG(status.st_mode) ? EINVAL : errno;
  ::close(fd);
  errno = reason;
  return nullptr;
}

}  // namespace

Result<Value> readPropertyList(std::string_view data, ObjectReferences references) {
  if (data.empty()) return malformed("the property list is empty");
  if (data.size() > kLargestPropertyList) return malformed("the property list is too large");
  if (std::optional<std::string> problem = plist_detail::rawPropertyListProblem(data, kMaxDepth)) {
    return malformed(std::move(*problem));
  }
  plist_t root = nullptr;
  plist_from_memory(data.data(), static_cast<std::uint32_t>(data.size()), &root);
  if (!root) return malformed("the data is neither an XML nor a binary property list");
  OwnedNode owner(root);
  return toValue(root, 0, references);
}

Result<Value> readPropertyList(const Bytes& data, ObjectReferences references) {
  return readPropertyList(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()),
                          references);
}

Result<Value> readPropertyListFile(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, decltype(&std::fclose)> file(openFileOnly(path), &std::fclose);
  if (!file) {
    int code = errno;
    // A file where a folder on the way belongs leaves no such file either.
    const bool missing = code == ENOENT || code == ENOTDIR;
    return Error(std::string(kPropertyListErrorDomain),
                 missing ? PropertyListErrorCode::FileMissing : PropertyListErrorCode::FileUnreadable,
                 path.string() + ": " + std::strerror(code));
  }
  // Refused by its size before its bytes are read into memory.
  struct stat status {};
  if (::fstat(::fileno(file.get()), &status) == 0 &&
      static_cast<std::uint64_t>(status.st_size) > kLargestPropertyList)
    return malformed(path.string() + ": the property list is too large");
  std::string contents;
  char buffer[65536];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) contents.append(buffer, count);
  if (std::ferror(file.get())) {
    return Error(std::string(kPropertyListErrorDomain), PropertyListErrorCode::FileUnreadable,
                 path.string() + ": read failed");
  }
  Result<Value> value = readPropertyList(contents);
  if (!value) {
    Error error = value.error();
    error.description = path.string() + ": " + error.description;
    return error;
  }
  return value;
}

}  // namespace platform
