#include "platform/Format.h"

#include <cstdio>
#include <vector>

namespace ostrakel {

namespace {

std::string textOf(const FmtArg* arg) {
  if (!arg || arg->isNull()) return kNullPlaceholder;
  if (arg->isNumber()) return std::to_string(arg->number());
  return arg->text();
}

int64_t numberOf(const FmtArg* arg) {
  if (!arg || !arg->isNumber()) return 0;
  return arg->number();
}

}  // namespace

std::string formatString(std::string_view format, std::initializer_list<FmtArg> args) {
  return formatString(format, args, nullptr);
}

std::string escapedControlCharacters(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xf]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string formatString(std::string_view format, std::initializer_list<FmtArg> args, TextFilter filter) {
  auto inserted = [filter](const FmtArg* arg) {
    std::string text = textOf(arg);
    return filter && arg && !arg->isNull() && !arg->isNumber() ? filter(text) : text;
  };
  std::vector<const FmtArg*> list;
  for (const FmtArg& a : args) list.push_back(&a);
  size_t next = 0;
  auto take = [&]() -> const FmtArg* { return next < list.size() ? list[next++] : nullptr; };

  std::string out;
  out.reserve(format.size() + 16);
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out.push_back(c);
      continue;
    }
    std::string_view rest = format.substr(i + 1);
    char buffer[64];
    if (rest.starts_with("@")) {
      out += inserted(take());
      i += 1;
    } else if (rest.starts_with("%")) {
      out.push_back('%');
      i += 1;
    } else if (rest.starts_with("s")) {
      out += inserted(take());
      i += 1;
    } else if (rest.starts_with("d") || rest.starts_with("i")) {
      std::snprintf(buffer, sizeof buffer, "%d", static_cast<int32_t>(numberOf(take())));
      out += buffer;
      i += 1;
    } else if (rest.starts_with("li") || rest.starts_with("ld")) {
      std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(numberOf(take())));
      out += buffer;
      i += 2;
    } else if (rest.starts_with("lu")) {
      std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(numberOf(take())));
      out += buffer;
      i += 2;
    } else if (rest.starts_with("#x")) {
      std::snprintf(buffer, sizeof buffer, "%#x", static_cast<uint32_t>(numberOf(take())));
      out += buffer;
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

uint32_t identityOf(const void* object) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
}

}  // namespace ostrakel
