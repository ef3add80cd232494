// Translations through gettext with the text domain "brennick.Helper"; with
// no catalogue installed a text comes back unchanged.
#pragma once

#include <string>

namespace ostrakel {

std::string localizedString(const std::string& text);

}  // namespace ostrakel
