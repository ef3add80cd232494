#include "platform/PropertyList.h"
#include "platform/PlainXmlPropertyList.h"


#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/PlistLibrary.h"
#include "platform/PropertyListGuard.h"
#include "platform/Utf8.h"

namespace ostrakel {

namespace {

// libplist counts dates in seconds since 2001-01-01 00:00:00 UTC.
constexpr double kSeconds1970To2001 = 978307200.0;

const plistlibrary::Functions* library() { return plistlibrary::functions(); }

// Frees a libplist node when the scope ends.
struct NodeOwner {
  plist_t node = nullptr;
  ~NodeOwner() {
    if (node) library()->free(node);
  }
};

}  // namespace

PlistRef PlistValue::string(std::string s) { return std::make_shared<const PlistValue>(std::move(s)); }
PlistRef PlistValue::integer(int64_t i) { return std::make_shared<const PlistValue>(i); }
PlistRef PlistValue::unsignedInteger(uint64_t u) {
  if (u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return integer(static_cast<int64_t>(u));
  return std::make_shared<const PlistValue>(u);
}
PlistRef PlistValue::real(double d) { return std::make_shared<const PlistValue>(d); }
PlistRef PlistValue::boolean(bool b) { return std::make_shared<const PlistValue>(b); }
PlistRef PlistValue::date(PlistDate d) { return std::make_shared<const PlistValue>(d); }
PlistRef PlistValue::data(std::string bytes) {
  return std::make_shared<const PlistValue>(PlistData{std::move(bytes)});
}
PlistRef PlistValue::array(PlistArray a) { return std::make_shared<const PlistValue>(std::move(a)); }
PlistRef PlistValue::dictionary(PlistDictionary d) {
  return std::make_shared<const PlistValue>(std::move(d));
}

PlistRef PlistValue::get(const std::string& key) const {
  const PlistDictionary* dictionary = asDictionary();
  if (!dictionary) return nullptr;
  auto found = dictionary->find(key);
  return found == dictionary->end() ? nullptr : found->second;
}

bool PlistValue::operator==(const PlistValue& other) const {
  if (storage_.index() != other.storage_.index()) return false;
  if (const PlistArray* a = asArray()) {
    const PlistArray& b = *other.asArray();
    if (a->size() != b.size()) return false;
    for (size_t i = 0; i < a->size(); ++i) {
      const PlistRef& x = (*a)[i];
      const PlistRef& y = b[i];
      if (x == y) continue;
      if (!x || !y || !(*x == *y)) return false;
    }
    return true;
  }
  if (const PlistDictionary* a = asDictionary()) {
    const PlistDictionary& b = *other.asDictionary();
    if (a->size() != b.size()) return false;
    for (auto i = a->begin(), j = b.begin(); i != a->end(); ++i, ++j) {
      if (i->first != j->first) return false;
      if (i->second == j->second) continue;
      if (!i->second || !j->second || !(*i->second == *j->second)) return false;
    }
    return true;
  }
  return storage_ == other.storage_;
}

namespace plist {

namespace {

// libplist marks an integer above the signed range as unsigned only when it
// reads one (its constructor gives the signed kind in older versions), so
// such a node is made by reading its XML form.
plist_t largeUnsignedNode(uint64_t value) {
  const std::string xml = "<plist version=\"1.0\"><integer>" + std::to_string(value) + "</integer></plist>";
  plist_t node = nullptr;
  library()->from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &node);
  return node;
}

PlistRef fromNode(plist_t node, int depth) {
  if (!node) return nullptr;
  switch (library()->get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      library()->get_bool_val(node, &value);
      return PlistValue::boolean(value != 0);
    }
    case PLIST_UINT: {
      // libplist keeps negative integers in two's complement; the same bits
      // may also be an unsigned value of 2^63 or more, which it marks.
      uint64_t value = 0;
      library()->get_uint_val(node, &value);
      if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        NodeOwner large{largeUnsignedNode(value)};
        if (large.node && library()->compare_node_value(node, large.node)) return PlistValue::unsignedInteger(value);
      }
      return PlistValue::integer(static_cast<int64_t>(value));
    }
    case PLIST_REAL: {
      double value = 0;
      library()->get_real_val(node, &value);
      return PlistValue::real(value);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
      uint64_t length = 0;
      const char* text = library()->get_string_ptr(node, &length);
      return PlistValue::string(text ? std::string(text, length) : std::string());
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = library()->get_data_ptr(node, &length);
      return PlistValue::data(bytes ? std::string(bytes, length) : std::string());
    }
    case PLIST_DATE: {
      // The microseconds come back without their sign.
      int32_t seconds = 0, microseconds = 0;
      library()->get_date_val(node, &seconds, &microseconds);
      double fraction = microseconds / 1e6;
      double since2001 = seconds < 0 ? seconds - fraction : seconds + fraction;
      return PlistValue::date(PlistDate{since2001 + kSeconds1970To2001});
    }
    case PLIST_UID: {
      // Keyed archives' object references, shown the way XML lists spell them.
      uint64_t value = 0;
      library()->get_uid_val(node, &value);
      return PlistValue::dictionary({{"CF$UID", PlistValue::integer(static_cast<int64_t>(value))}});
    }
    case PLIST_ARRAY: {
      if (depth > kMaxDepth) return nullptr;
      PlistArray items;
      uint32_t count = library()->array_get_size(node);
      items.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        PlistRef item = fromNode(library()->array_get_item(node, i), depth + 1);
        if (!item) return nullptr;
        items.push_back(std::move(item));
      }
      return PlistValue::array(std::move(items));
    }
    case PLIST_DICT: {
      if (depth > kMaxDepth) return nullptr;
      PlistDictionary entries;
      plist_dict_iter iterator = nullptr;
      library()->dict_new_iter(node, &iterator);
      if (!iterator) return nullptr;
      bool sound = true;
      while (sound) {
        char* key = nullptr;
        plist_t value = nullptr;
        library()->dict_next_item(node, iterator, &key, &value);
        if (!key) break;
        PlistRef converted = fromNode(value, depth + 1);
        if (converted) entries.insert_or_assign(std::string(key), std::move(converted));
        else sound = false;
        std::free(key);
      }
      std::free(iterator);
      return sound ? PlistValue::dictionary(std::move(entries)) : nullptr;
    }
    default:
      return nullptr;
  }
}

enum class Target { xml, binary };

// Text libplist can carry without loss: valid UTF-8 without NUL bytes (its
// strings are C strings), and for XML none of the control characters that
// XML cannot hold (its writer would drop them silently).
bool representable(const std::string& s, Target target) {
  for (unsigned char c : s) {
    if (c == 0) return false;
    if (target == Target::xml && c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return utf8::isValid(s);
}

plist_t toNode(const PlistValue& value, Target target, int depth) {
  const PlistValue::Storage& storage = value.storage();
  if (auto s = std::get_if<std::string>(&storage))
    return representable(*s, target) ? library()->new_string(s->c_str()) : nullptr;
  if (auto i = std::get_if<int64_t>(&storage)) return library()->new_uint(static_cast<uint64_t>(*i));
  if (auto u = std::get_if<uint64_t>(&storage)) return largeUnsignedNode(*u);
  if (auto d = std::get_if<double>(&storage)) return library()->new_real(*d);
  if (auto b = std::get_if<bool>(&storage)) return library()->new_bool(*b ? 1 : 0);
  if (auto data = std::get_if<PlistData>(&storage))
    return library()->new_data(data->bytes.data(), data->bytes.size());
  if (auto date = std::get_if<PlistDate>(&storage)) {
    double since2001 = date->secondsSince1970 - kSeconds1970To2001;
    if (!std::isfinite(since2001) || since2001 <= std::numeric_limits<int32_t>::min() ||
        since2001 >= std::numeric_limits<int32_t>::max())
      return nullptr;  // outside what libplist can store
    double whole = std::trunc(since2001);
    // Rounded half away from zero, without the maths library.
    const double fraction = (since2001 - whole) * 1e6;
    auto microseconds = static_cast<int32_t>(fraction < 0 ? -static_cast<int64_t>(-fraction + 0.5)
                                                          : static_cast<int64_t>(fraction + 0.5));
    return library()->new_date(static_cast<int32_t>(whole), microseconds);
  }
  if (auto array = std::get_if<PlistArray>(&storage)) {
    if (depth > kMaxDepth) return nullptr;
    NodeOwner owner{library()->new_array()};
    for (const PlistRef& item : *array) {
      plist_t child = item ? toNode(*item, target, depth + 1) : nullptr;
      if (!child) return nullptr;
      library()->array_append_item(owner.node, child);
    }
    return std::exchange(owner.node, nullptr);
  }
  if (auto dictionary = std::get_if<PlistDictionary>(&storage)) {
    if (depth > kMaxDepth) return nullptr;
    NodeOwner owner{library()->new_dict()};
    for (const auto& [key, item] : *dictionary) {
      if (!representable(key, target)) return nullptr;
      plist_t child = item ? toNode(*item, target, depth + 1) : nullptr;
      if (!child) return nullptr;
      library()->dict_set_item(owner.node, key.c_str(), child);
    }
    return std::exchange(owner.node, nullptr);
  }
  return nullptr;
}

// UTF-16 text after its byte-order mark, as UTF-8; none when it is cut short
// or holds an unpaired surrogate.
std::optional<std::string> utf16ToUTF8(std::string_view text, bool bigEndian) {
  if (text.size() % 2) return std::nullopt;
  auto unit = [&](size_t i) {
    auto hi = static_cast<unsigned char>(text[bigEndian ? i : i + 1]);
    auto lo = static_cast<unsigned char>(text[bigEndian ? i + 1 : i]);
    return static_cast<uint32_t>(hi << 8 | lo);
  };
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xDC00 && cp <= 0xDFFF) return std::nullopt;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 4 > text.size()) return std::nullopt;
      uint32_t low = unit(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    utf8::append(out, cp);
  }
  return out;
}

// XML as editors save it, in the UTF-8 libplist reads: a UTF-8 byte-order
// mark is skipped and UTF-16 with its mark is converted into `converted`
// (libplist ignores the encoding an XML declaration names). Other bytes pass
// unchanged. False for broken UTF-16.
bool skipByteOrderMark(std::string_view& bytes, std::string& converted) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
    return true;
  }
  const bool bigEndian = bytes.substr(0, 2) == "\xFE\xFF";
  if (!bigEndian && bytes.substr(0, 2) != "\xFF\xFE") return true;
  std::optional<std::string> utf8 = utf16ToUTF8(bytes.substr(2), bigEndian);
  if (!utf8) return false;
  converted = std::move(*utf8);
  bytes = converted;
  return true;
}

}  // namespace

PlistRef parse(const std::string& given) {
  if (given.empty() || given.size() > kMaxBytes) return nullptr;
  std::string converted;
  std::string_view bytes = given;
  if (!skipByteOrderMark(bytes, converted) || bytes.empty() || bytes.size() > kMaxBytes) return nullptr;
  const bool binary = isBinaryPlist(bytes);
  if (binary ? !binaryStructureAcceptable(bytes) : !xmlStructureAcceptable(bytes)) return nullptr;
  if (!binary) {
    if (std::optional<PlistRef> plain = readPlainXML(bytes)) return *plain;
  }
  if (!library()) return nullptr;
  NodeOwner root;
  auto length = static_cast<uint32_t>(bytes.size());
  if (binary)
    library()->from_bin(bytes.data(), length, &root.node);
  else
    library()->from_xml(bytes.data(), length, &root.node);
  return root.node ? fromNode(root.node, 1) : nullptr;
}

PlistRef dictionaryWithContentsOfFile(const std::string& path) {
  std::optional<std::string> bytes = fileManager().readFile(path, kMaxFileBytes, nullptr);
  if (!bytes) return nullptr;
  PlistRef value = parse(*bytes);
  return value && value->asDictionary() ? value : nullptr;
}

namespace {

// What libplist's writer for `target` makes of `value`; none for a value it
// cannot carry.
std::optional<std::string> written(const PlistValue& value, Target target) {
  if (!library()) return std::nullopt;
  NodeOwner root{toNode(value, target, 1)};
  if (!root.node) return std::nullopt;
  const bool xml = target == Target::xml;
  char* bytes = nullptr;
  uint32_t length = 0;
  (xml ? library()->to_xml : library()->to_bin)(root.node, &bytes, &length);
  if (!bytes) return std::nullopt;
  std::string out(bytes, length);
  (xml ? library()->to_xml_free : library()->to_bin_free)(bytes);
  return out;
}

}  // namespace

std::optional<std::string> toXML(const PlistValue& value) { return written(value, Target::xml); }

std::optional<std::string> toBinary(const PlistValue& value) { return written(value, Target::binary); }

}  // namespace plist
}  // namespace ostrakel
