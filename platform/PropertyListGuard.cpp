#include "platform/PropertyListGuard.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/BigEndian.h"

namespace ostrakel::plist {

bool isBinaryPlist(std::string_view bytes) { return bytes.starts_with("bplist00"); }

namespace {

// Position just past `terminator` at or after `from`, or npos.
size_t skipPast(std::string_view text, size_t from, std::string_view terminator) {
  size_t at = text.find(terminator, from);
  return at == std::string_view::npos ? at : at + terminator.size();
}

// Position just past the '>' that closes a tag starting at `from`, honouring
// quoted attribute values; npos when the tag never closes.
size_t skipTag(std::string_view text, size_t from, bool* selfClosing) {
  char quote = 0;
  for (size_t i = from; i < text.size(); ++i) {
    char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      *selfClosing = i > from && text[i - 1] == '/';
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// Position just past a declaration "<!...>" whose internal subset may hold
// bracketed parts with their own '>' characters.
size_t skipDeclaration(std::string_view text, size_t from) {
  int brackets = 0;
  for (size_t i = from; i < text.size(); ++i) {
    if (text[i] == '[') ++brackets;
    else if (text[i] == ']' && brackets > 0) --brackets;
    else if (text[i] == '>' && brackets == 0) return i + 1;
  }
  return std::string_view::npos;
}

}  // namespace

bool xmlStructureAcceptable(std::string_view text) {
  constexpr int kLimit = kMaxDepth + 2;  // the plist element and a scalar inside the deepest container
  if (text.size() > kMaxDecodedBytes) return false;
  // Decoded text is never longer than its source; each element is an object.
  size_t budget = kMaxDecodedBytes - text.size();
  int depth = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t lt = text.find('<', i);
    if (lt == std::string_view::npos) return true;
    std::string_view rest = text.substr(lt);
    size_t next;
    if (rest.starts_with("<!--")) {
      next = skipPast(text, lt + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      next = skipPast(text, lt + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      next = skipPast(text, lt + 2, "?>");
    } else if (rest.starts_with("<!")) {
      next = skipDeclaration(text, lt + 2);
    } else if (rest.starts_with("</")) {
      bool ignored = false;
      next = skipTag(text, lt + 2, &ignored);
      if (depth > 0) --depth;
    } else {
      bool selfClosing = false;
      next = skipTag(text, lt + 1, &selfClosing);
      if (!selfClosing && ++depth > kLimit) return false;
      if (budget < kObjectCost) return false;
      budget -= kObjectCost;
    }
    if (next == std::string_view::npos) return false;  // unterminated markup
    i = next;
  }
  return true;
}

namespace {

class BinaryScanner {
public:
  explicit BinaryScanner(std::string_view bytes) : b_(bytes) {}

  bool acceptable() {
    if (b_.size() < 8 + 1 + 32) return false;
    size_t trailer = b_.size() - 32;
    offsetSize_ = static_cast<unsigned char>(b_[trailer + 6]);
    refSize_ = static_cast<unsigned char>(b_[trailer + 7]);
    if (!validWidth(offsetSize_) || !validWidth(refSize_)) return false;
    uint64_t count = readUInt(trailer + 8, 8);
    uint64_t top = readUInt(trailer + 16, 8);
    tableOffset_ = readUInt(trailer + 24, 8);
    if (count == 0 || top >= count) return false;
    if (tableOffset_ < 8 || tableOffset_ > trailer) return false;
    if (count > (trailer - tableOffset_) / offsetSize_) return false;
    objectCount_ = count;

    // Every object is charged when it is found and its contents when it is
    // read, so neither the decoded tree nor this walk's stack outgrows the
    // budget.
    budget_ = kMaxDecodedBytes - kObjectCost;
    std::vector<Visit> stack{{top, 1, false}};
    while (!stack.empty()) {
      auto [object, depth, isKey] = stack.back();
      stack.pop_back();
      uint64_t offset = readUInt(tableOffset_ + object * offsetSize_, offsetSize_);
      if (offset < 8 || offset >= tableOffset_) return false;
      if (!charge(contentBytes(offset))) return false;
      if (isKey && !keyWithoutNul(offset)) return false;
      uint64_t refStart = 0, refCount = 0;
      if (!containerRefs(offset, &refStart, &refCount)) return false;
      if (refCount == 0) continue;
      if (depth > kMaxDepth) return false;
      // A dictionary's references list its keys first, then its values.
      const bool dictionary = (static_cast<unsigned char>(b_[offset]) >> 4) == 0xD;
      for (uint64_t r = 0; r < refCount; ++r) {
        uint64_t child = readUInt(refStart + r * refSize_, refSize_);
        if (child >= objectCount_) return false;
        if (!charge(kObjectCost)) return false;
        stack.push_back({child, depth + 1, dictionary && r < refCount / 2});
      }
    }
    return true;
  }

private:
  struct Visit {
    uint64_t object;
    int depth;
    bool isKey;
  };

  bool charge(uint64_t bytes) {
    if (bytes > budget_) return false;
    budget_ -= bytes;
    return true;
  }

  // The bytes an object's contents take once decoded: data and strings (UTF-16
  // becomes up to three bytes of UTF-8 per unit); numbers, dates and
  // containers add nothing beyond their object. Unreadable lengths count as
  // too much.
  uint64_t contentBytes(uint64_t offset) const {
    unsigned type = static_cast<unsigned char>(b_[offset]) >> 4;
    if (type != 0x4 && type != 0x5 && type != 0x6 && type != 0x7) return 0;
    uint64_t n = 0, pos = 0;
    if (!objectLength(offset, &n, &pos) || n > kMaxDecodedBytes) return UINT64_MAX;
    return type == 0x6 ? n * 3 : n;
  }

  // Offsets and references take 1 to 8 bytes; writers use 3 bytes too once a
  // file outgrows 64 KiB.
  static bool validWidth(unsigned w) { return w >= 1 && w <= 8; }

  // The library aborts the whole process (an assertion) when it hands out a
  // dictionary key holding a NUL character, so such keys are refused here,
  // before it ever sees them. Keys of other kinds are left to the library.
  bool keyWithoutNul(uint64_t offset) const {
    unsigned char marker = static_cast<unsigned char>(b_[offset]);
    unsigned type = marker >> 4;
    if (type != 0x5 && type != 0x6) return true;
    uint64_t n = 0, pos = 0;
    if (!objectLength(offset, &n, &pos)) return false;
    const uint64_t unit = type == 0x6 ? 2 : 1;
    if (n > (tableOffset_ - pos) / unit) return false;
    for (uint64_t i = 0; i < n; ++i) {
      bool zero = true;
      for (uint64_t k = 0; k < unit; ++k) zero = zero && b_[pos + i * unit + k] == 0;
      if (zero) return false;
    }
    return true;
  }

  // The element count of the object at `offset` (low nibble of its marker,
  // or the integer object that follows when the nibble is 0xF) and where its
  // contents start. False when that runs past the object area.
  bool objectLength(uint64_t offset, uint64_t* n, uint64_t* pos) const {
    unsigned char marker = static_cast<unsigned char>(b_[offset]);
    *n = marker & 0x0F;
    *pos = offset + 1;
    if (*n != 0x0F) return true;
    if (*pos >= tableOffset_) return false;
    unsigned char intMarker = static_cast<unsigned char>(b_[*pos]);
    if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
    unsigned width = 1u << (intMarker & 0x0F);
    if (*pos + 1 + width > tableOffset_) return false;
    *n = readUInt(*pos + 1, width);
    *pos += 1 + width;
    return true;
  }

  uint64_t readUInt(uint64_t at, unsigned width) const { return bigendian::read(b_.data() + at, width); }

  // For an array, set or dictionary: where its object references start and how
  // many there are (a dictionary's keys and values both count). Other objects
  // report none. False when the container runs past the object area.
  bool containerRefs(uint64_t offset, uint64_t* start, uint64_t* count) const {
    unsigned char marker = static_cast<unsigned char>(b_[offset]);
    unsigned type = marker >> 4;
    bool isDictionary = type == 0xD;
    if (type != 0xA && type != 0xB && type != 0xC && !isDictionary) return true;
    uint64_t n = 0, pos = 0;
    if (!objectLength(offset, &n, &pos)) return false;
    uint64_t refs = isDictionary ? n * 2 : n;
    if (n > b_.size() || refs > (tableOffset_ - pos) / refSize_) return false;
    *start = pos;
    *count = refs;
    return true;
  }

  std::string_view b_;
  unsigned offsetSize_ = 0, refSize_ = 0;
  uint64_t tableOffset_ = 0, objectCount_ = 0;
  uint64_t budget_ = 0;
};

}  // namespace

bool binaryStructureAcceptable(std::string_view bytes) { return BinaryScanner(bytes).acceptable(); }

}  // namespace ostrakel::plist
