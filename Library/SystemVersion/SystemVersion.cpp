#include "Library/SystemVersion/SystemVersion.h"

#include <limits>
#include <string_view>
#include <vector>

#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "platform/Format.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

namespace {

constexpr int64_t kLargest = std::numeric_limits<int64_t>::max();
constexpr int64_t kSmallest = std::numeric_limits<int64_t>::min();

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The integer value of a piece as property-list readers have always taken it:
// leading white space skipped, an optional sign, then the decimal digits up to
// the first other character; no digits gives 0. Digits beyond the 64-bit range
// saturate at the largest (or smallest) value instead of wrapping around.
int64_t integerValue(std::string_view piece) {
  size_t i = 0;
  while (i < piece.size() && isSpace(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
    negative = piece[i] == '-';
    ++i;
  }
  // Accumulate towards the sign's side so that the smallest value fits too.
  int64_t value = 0;
  for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
    int digit = piece[i] - '0';
    if (negative) {
      if (value < (kSmallest + digit) / 10) return kSmallest;
      value = value * 10 - digit;
    } else {
      if (value > (kLargest - digit) / 10) return kLargest;
      value = value * 10 + digit;
    }
  }
  return value;
}

std::vector<std::string_view> splitAtPeriods(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    if (dot == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, dot - start));
    start = dot + 1;
  }
}

}  // namespace

void SystemVersion::initWithString(const PlistRef& value, ErrorSlot slot) {
  setMajor(10);
  setPatch(0);
  setMinor(0);
  const std::string* text = value ? value->asString() : nullptr;
  if (!text) {
    overwriteError(slot, errorWithOstrakelCode(errorcode::kBadVersionString));
    return;
  }
  std::vector<std::string_view> pieces = splitAtPeriods(*text);
  int64_t major = integerValue(pieces[0]);
  setMajor(major >= 10 ? major : 10);
  if (pieces.size() > 1) {
    int64_t minor = integerValue(pieces[1]);
    setMinor(minor >= 0 ? minor : 0);
  }
  if (pieces.size() > 2) {
    int64_t patch = integerValue(pieces[2]);
    setPatch(patch >= 0 ? patch : 0);
  }
}

SystemVersionRef SystemVersion::systemVersionWithString(const PlistRef& value, ErrorSlot slot) {
  auto version = std::make_shared<SystemVersion>();
  version->initWithString(value, slot);
  return version;
}

SystemVersionRef SystemVersion::systemVersionWithString(const PlistRef& value) {
  SystemVersionRef version = systemVersionWithString(value, nullptr);
  return version ? version : firstSystemVersion();
}

SystemVersionRef SystemVersion::systemVersionWithString(const std::string& text) {
  return systemVersionWithString(PlistValue::string(text));
}

// The right-hand side is typed, so a value of another kind cannot reach here;
// only its absence needs a rule: it reads as 0.0.0.
int SystemVersion::compare(const SystemVersion* rhs) const {
  const int64_t mine[3] = {major(), minor(), patch()};
  const int64_t theirs[3] = {rhs ? rhs->major() : 0, rhs ? rhs->minor() : 0, rhs ? rhs->patch() : 0};
  for (int i = 0; i < 3; ++i) {
    if (mine[i] < theirs[i]) return -1;
    if (mine[i] > theirs[i]) return 1;
  }
  return 0;
}

std::string SystemVersion::description() const {
  return formatString("%ld.%ld.%ld", {major(), minor(), patch()});
}

// The shared versions are function-local statics: their creation runs once,
// and concurrent first callers wait for it and receive the same object.
SystemVersionRef SystemVersion::firstSystemVersion() {
  static const SystemVersionRef first = systemVersionWithString(PlistValue::string("10.0.0"), nullptr);
  return first;
}

SystemVersionRef SystemVersion::lastSystemVersion() {
  static const SystemVersionRef last = [] {
    SystemVersionRef version = systemVersionWithString(PlistValue::string("10.0.0"), nullptr);
    version->setPatch(kLargest);
    version->setMinor(kLargest);
    version->setMajor(kLargest);
    return version;
  }();
  return last;
}

SystemVersionRef SystemVersion::runningSystemVersion() {
  static const SystemVersionRef running = [] {
    SystemVersionRef version = systemVersionWithString(PlistValue::string("10.0.0"), nullptr);
    processinfo::OperatingSystemVersion os = processinfo::operatingSystemVersion();
    version->setMajor(os.major);
    version->setMinor(os.minor);
    version->setPatch(os.patch);
    return version;
  }();
  return running;
}

}  // namespace ostrakel
