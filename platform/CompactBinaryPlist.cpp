#include "platform/CompactBinaryPlist.h"

#include <cstdint>
#include <vector>

#include "platform/BigEndian.h"
#include "platform/PropertyListGuard.h"
#include "platform/Utf8.h"

namespace ostrakel::plist {

namespace {

unsigned widthFor(uint64_t largest) {
  if (largest <= 0xff) return 1;
  if (largest <= 0xffff) return 2;
  if (largest <= 0xffffffff) return 4;
  return 8;
}

// An integer object: the smallest of 1, 2, 4 or 8 bytes for values from 0 up;
// 8 bytes of two's complement for negative ones.
void appendInteger(std::string& out, int64_t value) {
  const unsigned width = value < 0 ? 8 : widthFor(static_cast<uint64_t>(value));
  const unsigned char exponent = width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
  out.push_back(static_cast<char>(0x10 | exponent));
  bigendian::append(out, static_cast<uint64_t>(value), width);
}

// A marker with its count: in the low nibble when it fits, else as an
// integer object that follows.
void appendMarker(std::string& out, unsigned char kind, uint64_t count) {
  if (count < 15) {
    out.push_back(static_cast<char>(kind << 4 | count));
  } else {
    out.push_back(static_cast<char>(kind << 4 | 0xF));
    appendInteger(out, static_cast<int64_t>(count));
  }
}

// ASCII text as it is; anything else as UTF-16 in big-endian order. False
// for text libplist could not carry: broken UTF-8 or a NUL byte.
bool appendString(std::string& out, const std::string& text) {
  bool ascii = true;
  for (unsigned char c : text) {
    if (c == 0) return false;
    if (c >= 0x80) ascii = false;
  }
  if (ascii) {
    appendMarker(out, 0x5, text.size());
    out += text;
    return true;
  }
  std::vector<uint16_t> units;
  units.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const size_t length = utf8::sequenceAt(text, i, &cp);
    if (length == 0) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(static_cast<uint16_t>(0xD800 | cp >> 10));
      units.push_back(static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
    } else {
      units.push_back(static_cast<uint16_t>(cp));
    }
    i += length;
  }
  appendMarker(out, 0x6, units.size());
  for (uint16_t unit : units) bigendian::append(out, unit, 2);
  return true;
}

// The objects in the order they are written: each container's entry lists
// the indexes of its keys, then of its values.
struct Object {
  const PlistValue* value = nullptr;  // none for a dictionary key
  const std::string* key = nullptr;
  std::vector<uint64_t> children;
};

class Writer {
public:
  bool flatten(const PlistValue& value, int depth, uint64_t& index) {
    index = objects_.size();
    objects_.push_back({&value, nullptr, {}});
    const PlistDictionary* dictionary = value.asDictionary();
    if (!dictionary) return true;
    if (depth > kMaxDepth) return false;
    std::vector<uint64_t> children;
    children.reserve(2 * dictionary->size());
    for (const auto& entry : *dictionary) {
      children.push_back(objects_.size());
      objects_.push_back({nullptr, &entry.first, {}});
    }
    for (const auto& entry : *dictionary) {
      uint64_t child = 0;
      if (!entry.second || !flatten(*entry.second, depth + 1, child)) return false;
      children.push_back(child);
    }
    objects_[index].children = std::move(children);
    return true;
  }

  std::optional<std::string> write() {
    std::string out = "bplist00";
    const unsigned refWidth = widthFor(objects_.size());
    std::vector<uint64_t> offsets;
    offsets.reserve(objects_.size());
    for (const Object& object : objects_) {
      offsets.push_back(out.size());
      if (object.key) {
        if (!appendString(out, *object.key)) return std::nullopt;
        continue;
      }
      const PlistValue::Storage& storage = object.value->storage();
      if (auto s = std::get_if<std::string>(&storage)) {
        if (!appendString(out, *s)) return std::nullopt;
      } else if (auto i = std::get_if<int64_t>(&storage)) {
        appendInteger(out, *i);
      } else if (auto u = std::get_if<uint64_t>(&storage)) {
        // Sixteen bytes, the upper eight zero: how an unsigned value above
        // the signed range is told apart from a negative one.
        out.push_back(static_cast<char>(0x14));
        bigendian::append(out, 0, 8);
        bigendian::append(out, *u, 8);
      } else if (std::holds_alternative<PlistDictionary>(storage)) {
        appendMarker(out, 0xD, object.children.size() / 2);
        for (uint64_t child : object.children) bigendian::append(out, child, refWidth);
      } else {
        return std::nullopt;
      }
    }
    const uint64_t tableOffset = out.size();
    const unsigned offsetWidth = widthFor(tableOffset);
    for (uint64_t offset : offsets) bigendian::append(out, offset, offsetWidth);
    out.append(6, '\0');
    out.push_back(static_cast<char>(offsetWidth));
    out.push_back(static_cast<char>(refWidth));
    bigendian::append(out, objects_.size(), 8);
    bigendian::append(out, 0, 8);  // the top object comes first
    bigendian::append(out, tableOffset, 8);
    return out;
  }

private:
  std::vector<Object> objects_;
};

}  // namespace

std::optional<std::string> toCompactBinary(const PlistValue& value) {
  Writer writer;
  uint64_t top = 0;
  if (!writer.flatten(value, 1, top)) return std::nullopt;
  return writer.write();
}

}  // namespace ostrakel::plist
