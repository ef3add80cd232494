// UTF-8 as the Unicode standard defines it: no overlong forms, no surrogates,
// nothing above U+10FFFF. A NUL byte counts as a character here; callers that
// cannot carry one check for it themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrakel::utf8 {

// The length (1 to 4) of the well-formed sequence that starts at `at`, with
// its code point in `codePoint` when given; 0 when the bytes there are none
// (a stray continuation byte, an overlong form, a surrogate, a value above
// U+10FFFF, or a sequence cut short by the end of the text).
inline size_t sequenceAt(std::string_view text, size_t at, uint32_t* codePoint = nullptr) {
  if (at >= text.size()) return 0;
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(at);
  size_t length;
  uint32_t smallest;
  if (lead < 0x80) {
    if (codePoint) *codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  uint32_t point = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) return 0;
    point = point << 6 | (byte(at + k) & 0x3F);
  }
  if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  if (codePoint) *codePoint = point;
  return length;
}

// Whether all of `text` is well-formed UTF-8.
inline bool isValid(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = sequenceAt(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// Appends the UTF-8 form of the code point `point` (at most U+10FFFF).
inline void append(std::string& out, uint32_t point) {
  if (point < 0x80) {
    out.push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (point >> 6)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

}  // namespace ostrakel::utf8
