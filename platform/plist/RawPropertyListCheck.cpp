#include "platform/plist/RawPropertyListCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace platform::plist_detail {
namespace {

constexpr std::string_view kBinaryMagic = "bplist";
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kTrailerSize = 32;

constexpr std::uint8_t kAsciiString = 0x5;
constexpr std::uint8_t kUtf16String = 0x6;
constexpr std::uint8_t kArray = 0xA;
constexpr std::uint8_t kSet = 0xC;
constexpr std::uint8_t kDictionary = 0xD;

// Big-endian unsigned integer of `size` bytes at `offset`; nullopt when it does not fit.
std::optional<std::uint64_t> bigEndian(std::string_view data, std::uint64_t offset, std::uint64_t size) {
  if (size == 0 || size > 8 || offset > data.size() || size > data.size() - offset) return std::nullopt;
  std::uint64_t value = 0;
  for (std::uint64_t i = 0; i < size; ++i) value = (value << 8) | static_cast<std::uint8_t>(data[offset + i]);
  return value;
}

// The binary format as far as nesting and keys need it. Any structure it cannot follow is left to
// the library, which refuses it.
class BinaryScan {
 public:
  explicit BinaryScan(std::string_view data) : data_(data) {}

  std::optional<std::string> problem(int maxDepth) {
    if (!readTrailer()) return std::nullopt;
    // Longest chain, in objects, ending at each object; 0 not yet known. Iterative post-order walk.
    std::vector<std::uint32_t> chain(objectCount_, 0);
    std::vector<bool> onPath(objectCount_, false);
    struct Frame {
      std::uint64_t object;
      std::vector<std::uint64_t> children;
      std::size_t next = 0;
      std::uint32_t longest = 0;
    };
    std::vector<Frame> path;
    const auto enter = [&](std::uint64_t object) -> std::optional<std::string> {
      Contents contents = contentsOf(object);
      if (contents.nulInKey) return "a dictionary key holds a NUL character";
      onPath[object] = true;
      path.push_back(Frame{object, std::move(contents.children)});
      if (path.size() > static_cast<std::size_t>(maxDepth) + 1)
        return "the property list is nested too deeply";
      return std::nullopt;
    };
    if (auto refused = enter(top_)) return refused;
    while (!path.empty()) {
      Frame& frame = path.back();
      if (frame.next == frame.children.size()) {
        chain[frame.object] = frame.longest + 1;
        onPath[frame.object] = false;
        const std::uint32_t finished = chain[frame.object];
        path.pop_back();
        if (!path.empty()) path.back().longest = std::max(path.back().longest, finished);
        continue;
      }
      const std::uint64_t child = frame.children[frame.next++];
      if (child >= objectCount_) continue;  // the library refuses the dangling reference
      if (onPath[child]) return "the property list refers to itself";
      if (chain[child] != 0) {
        frame.longest = std::max(frame.longest, chain[child]);
        if (path.size() + chain[child] > static_cast<std::size_t>(maxDepth) + 1) {
          return "the property list is nested too deeply";
        }
        continue;
      }
      if (auto refused = enter(child)) return refused;
    }
    return std::nullopt;
  }

 private:
  struct Contents {
    std::vector<std::uint64_t> children;
    bool nulInKey = false;
  };

  bool readTrailer() {
    if (data_.size() < kHeaderSize + kTrailerSize) return false;
    const std::uint64_t trailer = data_.size() - kTrailerSize;
    offsetSize_ = static_cast<std::uint8_t>(data_[trailer + 6]);
    referenceSize_ = static_cast<std::uint8_t>(data_[trailer + 7]);
    const auto count = bigEndian(data_, trailer + 8, 8);
    const auto top = bigEndian(data_, trailer + 16, 8);
    const auto table = bigEndian(data_, trailer + 24, 8);
    if (!count || !top || !table || offsetSize_ == 0 || offsetSize_ > 8 || referenceSize_ == 0 ||
        referenceSize_ > 8) {
      return false;
    }
    // Every object takes at least one byte, so a larger count cannot be true.
    if (*count == 0 || *count > data_.size() || *top >= *count || *table > trailer ||
        *count > (trailer - *table) / offsetSize_) {
      return false;
    }
    objectCount_ = *count;
    top_ = *top;
    offsetTable_ = *table;
    return true;
  }

  std::optional<std::uint64_t> offsetOf(std::uint64_t object) const {
    return bigEndian(data_, offsetTable_ + object * offsetSize_, offsetSize_);
  }

  // The element count of the object at `offset` and where its contents begin.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> countAndStart(std::uint64_t offset) const {
    const auto marker = bigEndian(data_, offset, 1);
    if (!marker) return std::nullopt;
    const std::uint64_t info = *marker & 0xF;
    if (info != 0xF) return std::make_pair(info, offset + 1);
    const auto sizeMarker = bigEndian(data_, offset + 1, 1);
    if (!sizeMarker || (*sizeMarker >> 4) != 0x1) return std::nullopt;
    const std::uint64_t size = std::uint64_t{1} << (*sizeMarker & 0xF);
    const auto count = bigEndian(data_, offset + 2, size);
    if (!count) return std::nullopt;
    return std::make_pair(*count, offset + 2 + size);
  }

  bool holdsNul(std::uint64_t object) const {
    const auto offset = offsetOf(object);
    if (!offset) return false;
    const auto marker = bigEndian(data_, *offset, 1);
    const auto counted = countAndStart(*offset);
    if (!marker || !counted) return false;
    const auto [count, start] = *counted;
    const std::uint8_t type = static_cast<std::uint8_t>(*marker >> 4);
    const std::uint64_t unit = type == kAsciiString ? 1 : type == kUtf16String ? 2 : 0;
    if (unit == 0 || start > data_.size() || count > (data_.size() - start) / unit) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
      if (unit == 1 ? data_[start + i] == '\0'
                    : data_[start + 2 * i] == '\0' && data_[start + 2 * i + 1] == '\0') {
        return true;
      }
    }
    return false;
  }

  Contents contentsOf(std::uint64_t object) const {
    Contents contents;
    const auto offset = offsetOf(object);
    if (!offset) return contents;
    const auto marker = bigEndian(data_, *offset, 1);
    const auto counted = countAndStart(*offset);
    if (!marker || !counted) return contents;
    const std::uint8_t type = static_cast<std::uint8_t>(*marker >> 4);
    if (type != kArray && type != kSet && type != kDictionary) return contents;
    const auto [count, start] = *counted;
    const std::uint64_t references = type == kDictionary ? 2 * count : count;
    if (count > data_.size() || start > data_.size() ||
        references > (data_.size() - start) / referenceSize_) {
      return contents;
    }
    for (std::uint64_t i = 0; i < references; ++i) {
      const auto reference = bigEndian(data_, start + i * referenceSize_, referenceSize_);
      if (!reference) break;
      if (type == kDictionary && i < count && holdsNul(*reference)) contents.nulInKey = true;
      contents.children.push_back(*reference);
    }
    return contents;
  }

  std::string_view data_;
  std::uint8_t offsetSize_ = 0;
  std::uint8_t referenceSize_ = 0;
  std::uint64_t objectCount_ = 0;
  std::uint64_t top_ = 0;
  std::uint64_t offsetTable_ = 0;
};

bool startsWithAt(std::string_view data, std::size_t at, std::string_view prefix) {
  return data.size() >= at && data.substr(at).starts_with(prefix);
}

// "&#0;", "&#000;", "&#x0;" ...: a character reference whose value is zero.
bool isNulReference(std::string_view data, std::size_t at) {
  std::size_t i = at + 2;
  const bool hex = i < data.size() && (data[i] == 'x' || data[i] == 'X');
  if (hex) ++i;
  const std::size_t digits = i;
  while (i < data.size() && data[i] == '0') ++i;
  return i > digits && i < data.size() && data[i] == ';';
}

std::optional<std::string> xmlProblem(std::string_view data, int maxDepth) {
  int depth = 0;
  for (std::size_t at = 0; at < data.size(); ++at) {
    if (data[at] == '&' && startsWithAt(data, at, "&#") && isNulReference(data, at)) {
      return "the property list holds a NUL character";
    }
    if (data[at] != '<') continue;
    // Comments and character data may hold anything, tags included.
    for (const auto& [open, close] : {std::pair<std::string_view, std::string_view>{"<!--", "-->"},
                                      std::pair<std::string_view, std::string_view>{"<![CDATA[", "]]>"}}) {
      if (startsWithAt(data, at, open)) {
        const std::size_t end = data.find(close, at + open.size());
        if (end == std::string_view::npos) return std::nullopt;  // the library refuses the rest
        at = end + close.size() - 1;
        break;
      }
    }
    if (data[at] != '<') continue;
    const bool closing = startsWithAt(data, at, "</");
    const std::size_t nameStart = at + (closing ? 2 : 1);
    const bool container = startsWithAt(data, nameStart, "array") || startsWithAt(data, nameStart, "dict");
    if (!container) continue;
    const std::size_t end = data.find('>', nameStart);
    if (end == std::string_view::npos) return std::nullopt;
    if (closing) {
      --depth;
    } else if (data[end - 1] != '/' && ++depth > maxDepth + 1) {
      return "the property list is nested too deeply";
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> rawPropertyListProblem(std::string_view data, int maxDepth) {
  if (data.starts_with(kBinaryMagic)) return BinaryScan(data).problem(maxDepth);
  return xmlProblem(data, maxDepth);
}

}  // namespace platform::plist_detail
