#include "Client/ostrakel/Json.h"

#include "platform/Utf8.h"

namespace ostrakel::cli {

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
    if (size_t length = utf8::sequenceAt(bytes, i)) {
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
