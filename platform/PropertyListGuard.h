// Checks run on property-list bytes before libplist sees them. libplist reads
// nested containers recursively and expands shared objects of binary lists
// into copies, so hostile input could exhaust the stack or the memory; these
// scans bound nesting and expanded size without recursing themselves.
#pragma once

#include <cstddef>
#include <string_view>

namespace ostrakel::plist {

inline constexpr size_t kMaxBytes = 32u * 1024u * 1024u;  // larger inputs are refused
inline constexpr int kMaxDepth = 64;                      // nested arrays and dictionaries
inline constexpr size_t kMaxExpandedObjects = 1000000;    // binary: objects after expansion

bool isBinaryPlist(std::string_view bytes);
// XML: no element nests deeper than the depth limit (plus the plist element).
bool xmlNestingAcceptable(std::string_view bytes);
// Binary: the trailer and offsets are sound, containers nest no deeper than the
// limit (cycles therefore fail too) and the expanded tree stays bounded.
bool binaryStructureAcceptable(std::string_view bytes);

}  // namespace ostrakel::plist
