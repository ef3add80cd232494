// Checks run on property-list bytes before libplist sees them. libplist reads
// nested containers recursively and expands shared objects of binary lists
// into copies (one 10 KB string referred to 100,000 times becomes a gigabyte),
// so hostile input could exhaust the stack or the memory; these scans bound
// nesting and the decoded size in bytes without recursing themselves.
#pragma once

#include <cstddef>
#include <string_view>

namespace ostrakel::plist {

// What a property list may decode to: its strings and data, plus what every
// object costs in memory besides them. A larger one is refused as malformed.
inline constexpr size_t kMaxDecodedBytes = 16u * 1024u * 1024u;
inline constexpr size_t kObjectCost = 256;
inline constexpr size_t kMaxBytes = kMaxDecodedBytes;  // larger inputs are refused
inline constexpr int kMaxDepth = 64;                   // nested arrays and dictionaries
// Property-list files (Info.plist) larger than this are unreadable: no real
// one comes near it.
inline constexpr size_t kMaxFileBytes = 1024u * 1024u;

bool isBinaryPlist(std::string_view bytes);
// XML: no element nests deeper than the depth limit (plus the plist element)
// and the text with its elements stays within the decoded budget.
bool xmlStructureAcceptable(std::string_view bytes);
// Binary: the trailer and offsets are sound, containers nest no deeper than the
// limit (cycles therefore fail too) and the expanded tree stays within the
// decoded budget.
bool binaryStructureAcceptable(std::string_view bytes);

}  // namespace ostrakel::plist
