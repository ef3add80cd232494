#include "platform/Localization.h"

#include <libintl.h>

#include <mutex>
#include <set>

namespace ostrakel {

std::string localizedString(const std::string& textDomain, const std::string& text) {
  // gettext answers the empty key with its catalogue header, and a key with a
  // NUL byte cannot be looked up whole: both come back as they are.
  if (text.empty() || text.find('\0') != std::string::npos) return text;
  // Catalogues are read as UTF-8 whatever the locale; the binding is asked
  // for each domain once.
  static std::mutex mutex;
  static std::set<std::string> bound;
  {
    std::lock_guard lock(mutex);
    if (bound.insert(textDomain).second) ::bind_textdomain_codeset(textDomain.c_str(), "UTF-8");
  }
  const char* translated = ::dgettext(textDomain.c_str(), text.c_str());
  return translated ? std::string(translated) : text;
}

}  // namespace ostrakel
