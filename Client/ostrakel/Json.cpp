#include "Client/ostrakel/Json.h"

namespace ostrakel::cli {

namespace {

// The length of the valid UTF-8 sequence at `i`, or 0.
size_t validSequence(const std::string& s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  size_t length;
  uint32_t minimum;
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2, minimum = 0x80;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3, minimum = 0x800;
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  uint32_t point = c & (0x7f >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xc0) != 0x80) return 0;
    point = point << 6 | (byte(i + k) & 0x3f);
  }
  if (point < minimum || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) return 0;
  return length;
}

}  // namespace

std::string jsonString(const std::string& bytes) {
  static const char* const kHex = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        default:
          if (c < 0x20 || c == 0x7f)
            out += std::string("\\u00") + kHex[c >> 4] + kHex[c & 15];
          else
            out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    if (size_t length = validSequence(bytes, i)) {
      out.append(bytes, i, length);
      i += length;
    } else {
      out += std::string("\\udc") + kHex[c >> 4] + kHex[c & 15];
      ++i;
    }
  }
  return out + "\"";
}

std::string jsonStringOrNull(const std::optional<std::string>& bytes) {
  return bytes ? jsonString(*bytes) : std::string("null");
}

}  // namespace ostrakel::cli
