#include "platform/Localization.h"

#include <libintl.h>

#include <mutex>

namespace ostrakel {

namespace {
constexpr const char* kTextDomain = "brennick.Helper";
}

std::string localizedString(const std::string& text) {
  // gettext answers the empty key with its catalogue header, and a key with a
  // NUL byte cannot be looked up whole: both come back as they are.
  if (text.empty() || text.find('\0') != std::string::npos) return text;
  static std::once_flag once;
  std::call_once(once, [] { ::bind_textdomain_codeset(kTextDomain, "UTF-8"); });
  const char* translated = ::dgettext(kTextDomain, text.c_str());
  return translated ? std::string(translated) : text;
}

}  // namespace ostrakel
