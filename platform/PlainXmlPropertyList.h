// The plain form of XML property lists that bundles carry (dictionaries,
// arrays, keys, strings, integers, booleans; printable ASCII text without
// entities, comments or CDATA), read without the property-list library: a
// short command that reads one Info.plist then need not load it. Anything
// outside that form is left to the library.
#pragma once

#include <optional>
#include <string_view>

#include "platform/PropertyList.h"

namespace ostrakel::plist {

// The value of `text` when it is a plain XML property list, as the library
// would read it; none when it is not plain (the library decides then).
std::optional<PlistRef> readPlainXML(std::string_view text);

}  // namespace ostrakel::plist
