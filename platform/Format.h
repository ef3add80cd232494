// Object-style string formatting: "%@" inserts an object's description, an
// absent object prints as "(null)". Also "%d", "%li", "%ld", "%lu", "%s",
// "%#x" and "%%". Texts are data: only the format string is interpreted.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace ostrakel {

inline constexpr const char* kNullPlaceholder = "(null)";

class FmtArg {
public:
  FmtArg(std::nullptr_t) : null_(true) {}
  FmtArg(const std::string& s) : text_(s) {}
  FmtArg(std::string_view s) : text_(s) {}
  FmtArg(const char* s) : null_(s == nullptr), text_(s ? s : "") {}
  FmtArg(const std::optional<std::string>& s) : null_(!s), text_(s ? *s : "") {}
  template <typename I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>, int> = 0>
  FmtArg(I value) : isNumber_(true), number_(static_cast<int64_t>(value)) {}
  FmtArg(bool value) : isNumber_(true), number_(value ? 1 : 0) {}
  // Anything with a description() member, held by a smart pointer.
  template <typename T, typename = decltype(std::declval<const T&>().description())>
  FmtArg(const std::shared_ptr<T>& object)
      : null_(!object), text_(object ? std::string(object->description()) : std::string()) {}

  bool isNull() const { return null_; }
  bool isNumber() const { return isNumber_; }
  const std::string& text() const { return text_; }
  int64_t number() const { return number_; }

private:
  bool null_ = false;
  bool isNumber_ = false;
  std::string text_;
  int64_t number_ = 0;
};

// Formats `format` with `args`. Missing arguments format as "(null)" or 0.
std::string formatString(std::string_view format, std::initializer_list<FmtArg> args);
// The same, with every inserted text (not the format's own) passed through
// `filter` first.
using TextFilter = std::string (*)(const std::string&);
std::string formatString(std::string_view format, std::initializer_list<FmtArg> args, TextFilter filter);

// `text` with its control characters made visible, so that it cannot start a
// new line of a log: a line end as the two characters "\n", every other byte
// below 0x20 and 0x7f as "\xNN".
std::string escapedControlCharacters(const std::string& text);

// An object's identity in descriptions: its address truncated to 32 bits.
uint32_t identityOf(const void* object);

}  // namespace ostrakel
