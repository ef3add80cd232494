#include "platform/Unicode.h"

#include <dlfcn.h>

// Only the C interface's declarations are used: every function is looked up
// in the system's libraries at run time, under the versioned name that the
// headers' renaming gives it (uregex_open becomes uregex_open_72).
#define U_SHOW_CPLUSPLUS_API 0
#include <unicode/uregex.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/uvernum.h>

namespace ostrakel::unicode {

namespace {

#define OSTRAKEL_TEXT(x) #x
#define OSTRAKEL_EXPANDED_TEXT(x) OSTRAKEL_TEXT(x)
// The versioned symbol name of an ICU function, as the headers rename it.
#define OSTRAKEL_ICU_NAME(function) OSTRAKEL_EXPANDED_TEXT(function)

struct Functions {
  decltype(&uregex_open) regexOpen = nullptr;
  decltype(&uregex_clone) regexClone = nullptr;
  decltype(&uregex_close) regexClose = nullptr;
  decltype(&uregex_setUText) regexSetUText = nullptr;
  decltype(&uregex_findNext) regexFindNext = nullptr;
  decltype(&uregex_groupCount) regexGroupCount = nullptr;
  decltype(&uregex_start64) regexStart = nullptr;
  decltype(&uregex_end64) regexEnd = nullptr;
  decltype(&utext_openUTF8) textOpenUTF8 = nullptr;
  decltype(&utext_close) textClose = nullptr;
  decltype(&u_strFromUTF8WithSub) fromUTF8 = nullptr;
  decltype(&u_strToUTF8WithSub) toUTF8 = nullptr;
  decltype(&u_strToLower) toLower = nullptr;
};

template <typename T>
bool bind(void* library, const char* name, T* slot) {
  *slot = reinterpret_cast<T>(dlsym(library, name));
  return *slot != nullptr;
}

const Functions* load() {
  // The major version the helper was built against: its symbols carry it.
  const char* suffix = OSTRAKEL_EXPANDED_TEXT(U_ICU_VERSION_MAJOR_NUM);
  void* common = dlopen((std::string("libicuuc.so.") + suffix).c_str(), RTLD_NOW | RTLD_LOCAL);
  void* i18n = dlopen((std::string("libicui18n.so.") + suffix).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!common || !i18n) return nullptr;
  static Functions f;
  bool ok = bind(i18n, OSTRAKEL_ICU_NAME(uregex_open), &f.regexOpen) &&
            bind(i18n, OSTRAKEL_ICU_NAME(uregex_clone), &f.regexClone) &&
            bind(i18n, OSTRAKEL_ICU_NAME(uregex_close), &f.regexClose) &&
            bind(i18n, OSTRAKEL_ICU_NAME(uregex_setUText), &f.regexSetUText) &&
            bind(i18n, OSTRAKEL_ICU_NAME(uregex_findNext), &f.regexFindNext) &&
            bind(i18n, OSTRAKEL_ICU_NAME(uregex_groupCount), &f.regexGroupCount) &&
            bind(i18n, OSTRAKEL_ICU_NAME(uregex_start64), &f.regexStart) &&
            bind(i18n, OSTRAKEL_ICU_NAME(uregex_end64), &f.regexEnd) &&
            bind(common, OSTRAKEL_ICU_NAME(utext_openUTF8), &f.textOpenUTF8) &&
            bind(common, OSTRAKEL_ICU_NAME(utext_close), &f.textClose) &&
            bind(common, OSTRAKEL_ICU_NAME(u_strFromUTF8WithSub), &f.fromUTF8) &&
            bind(common, OSTRAKEL_ICU_NAME(u_strToUTF8WithSub), &f.toUTF8) &&
            bind(common, OSTRAKEL_ICU_NAME(u_strToLower), &f.toLower);
  return ok ? &f : nullptr;
}

// Loaded once per process, on first use, safely against concurrent first calls.
const Functions* icu() {
  static const Functions* const loaded = load();
  return loaded;
}

constexpr UChar32 kReplacement = 0xFFFD;

std::string asciiLowercase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

bool available() { return icu() != nullptr; }

std::unique_ptr<RegularExpression> RegularExpression::compile(const std::string& pattern) {
  const Functions* f = icu();
  if (!f) return nullptr;
  std::u16string units;
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  f->fromUTF8(nullptr, 0, &length, pattern.data(), static_cast<int32_t>(pattern.size()), kReplacement, nullptr,
              &status);
  units.resize(static_cast<size_t>(length));
  status = U_ZERO_ERROR;
  f->fromUTF8(units.data(), length, &length, pattern.data(), static_cast<int32_t>(pattern.size()), kReplacement,
              nullptr, &status);
  if (U_FAILURE(status)) return nullptr;
  UParseError parseError;
  URegularExpression* compiled = f->regexOpen(units.data(), length, 0, &parseError, &status);
  if (U_FAILURE(status)) {
    if (compiled) f->regexClose(compiled);
    return nullptr;
  }
  return std::unique_ptr<RegularExpression>(new RegularExpression(compiled));
}

RegularExpression::~RegularExpression() {
  if (const Functions* f = icu()) f->regexClose(static_cast<URegularExpression*>(compiled_));
}

std::optional<std::vector<RegularExpression::Range>> RegularExpression::firstMatch(const std::string& text) const {
  const Functions* f = icu();
  UErrorCode status = U_ZERO_ERROR;
  // A matcher of its own per call: the compiled pattern is shared, the
  // matching state is not.
  URegularExpression* matcher = f->regexClone(static_cast<const URegularExpression*>(compiled_), &status);
  if (U_FAILURE(status)) return std::nullopt;
  // The matcher works on the UTF-8 bytes themselves, so ranges are byte
  // offsets into `text`.
  UText* utf8 = f->textOpenUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  std::optional<std::vector<Range>> ranges;
  if (U_SUCCESS(status)) {
    f->regexSetUText(matcher, utf8, &status);
    if (U_SUCCESS(status) && f->regexFindNext(matcher, &status) && U_SUCCESS(status)) {
      int32_t groups = f->regexGroupCount(matcher, &status);
      ranges.emplace();
      for (int32_t i = 0; U_SUCCESS(status) && i <= groups; ++i) {
        UErrorCode groupStatus = U_ZERO_ERROR;
        Range range{f->regexStart(matcher, i, &groupStatus), f->regexEnd(matcher, i, &groupStatus)};
        ranges->push_back(U_SUCCESS(groupStatus) ? range : Range{});
      }
    }
  }
  f->regexClose(matcher);
  f->textClose(utf8);
  return ranges;
}

std::string lowercase(const std::string& text) {
  // ASCII letters need no tables, and nothing else of ASCII changes.
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return lowercaseByICU(text);
  return asciiLowercase(text);
}

std::string lowercaseByICU(const std::string& text) {
  const Functions* f = icu();
  if (!f) return asciiLowercase(text);
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  f->fromUTF8(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), kReplacement, nullptr, &status);
  std::u16string units(static_cast<size_t>(length), u'\0');
  status = U_ZERO_ERROR;
  f->fromUTF8(units.data(), length, &length, text.data(), static_cast<int32_t>(text.size()), kReplacement, nullptr,
              &status);
  if (U_FAILURE(status)) return asciiLowercase(text);
  // Lower-casing may lengthen the text (a few letters map to two units).
  status = U_ZERO_ERROR;
  int32_t n = f->toLower(nullptr, 0, units.data(), length, "", &status);
  std::u16string lowered(static_cast<size_t>(n), u'\0');
  status = U_ZERO_ERROR;
  n = f->toLower(lowered.data(), n, units.data(), length, "", &status);
  if (U_FAILURE(status)) return asciiLowercase(text);
  std::string out;
  status = U_ZERO_ERROR;
  f->toUTF8(nullptr, 0, &length, lowered.data(), static_cast<int32_t>(lowered.size()), kReplacement, nullptr,
            &status);
  out.resize(static_cast<size_t>(length));
  status = U_ZERO_ERROR;
  f->toUTF8(out.data(), length, &length, lowered.data(), static_cast<int32_t>(lowered.size()), kReplacement,
            nullptr, &status);
  return U_SUCCESS(status) ? out : asciiLowercase(text);
}

}  // namespace ostrakel::unicode
