// Translations through gettext; with no catalogue installed for the text
// domain a text comes back unchanged.
#pragma once

#include <string>

namespace ostrakel {

std::string localizedString(const std::string& textDomain, const std::string& text);

}  // namespace ostrakel
