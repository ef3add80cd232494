// Unsigned integers of 1 to 8 bytes, most significant byte first, as frame
// headers, binary property lists and the authorization form store them.
#pragma once

#include <cstdint>
#include <string>

namespace ostrakel::bigendian {

// Appends the low `width` bytes of `value`.
inline void append(std::string& out, uint64_t value, unsigned width) {
  for (unsigned i = width; i-- > 0;) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// The value of the `width` bytes at `bytes`; the caller has checked that they
// are there.
inline uint64_t read(const char* bytes, unsigned width) {
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

}  // namespace ostrakel::bigendian
