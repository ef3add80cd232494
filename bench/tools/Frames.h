// Client side of the service's wire format for the benchmark and load tools:
// 4-byte big-endian length frames carrying binary property lists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PropertyList.h"
#include "platform/WriteAll.h"

namespace ostrakel::bench {

// A connected Unix stream socket, or -1.
int connectTo(const std::string& path);
// The request dictionary: `present` in order as `arguments`; the arguments
// from present.size() up to `count` - 1 are listed as absent.
PlistRef requestDictionary(int64_t id, const std::string& name, const PlistArray& present, int count);
// The frame bytes of a value (binary property list behind its length).
std::string frame(const PlistRef& value);
using ostrakel::writeAll;
// Reads one whole frame's payload; false when the connection ends or fails.
bool readFrame(int fd, std::string& payload);

}  // namespace ostrakel::bench
