#include "platform/FileURL.h"

#include <cctype>

namespace ostrakel {

std::string FileURL::absoluteString() const {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::optional<FileURL> FileURL::fromString(const std::string& text) {
  std::string rest;
  if (text.rfind("file://", 0) == 0) {
    rest = text.substr(7);
    // "file://localhost/path" names the local host.
    if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
  } else if (text.rfind("file:", 0) == 0) {
    rest = text.substr(5);
  } else {
    return std::nullopt;
  }
  if (rest.empty() || rest[0] != '/') return std::nullopt;
  std::string decoded;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%') {
      if (i + 2 >= rest.size() || !std::isxdigit(static_cast<unsigned char>(rest[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(rest[i + 2])))
        return std::nullopt;
      decoded.push_back(static_cast<char>(std::stoi(rest.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      decoded.push_back(rest[i]);
    }
  }
  if (decoded.find('\0') != std::string::npos) return std::nullopt;
  return FileURL{decoded};
}

}  // namespace ostrakel
