// A small binary property-list writer for the service's replies: dictionaries
// of strings and integers. libplist's own writer clears a large hash table for
// every list it writes, which dominated the cost of answering a request; this
// one writes the same values (as libplist reads them back) without it.
#pragma once

#include <optional>
#include <string>

#include "platform/PropertyList.h"

namespace ostrakel::plist {

// "bplist00" bytes of a value made only of dictionaries, strings and integers
// (unsigned ones of 2^63 and more included); none for any other kind of
// value, for text that is not valid UTF-8 or holds a NUL byte, and for
// nesting deeper than the readers accept.
std::optional<std::string> toCompactBinary(const PlistValue& value);

}  // namespace ostrakel::plist
