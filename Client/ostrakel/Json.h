// JSON text for any bytes: valid UTF-8 passes through, quotes, backslashes
// and control characters are escaped, and each byte that is not part of
// valid UTF-8 becomes the escape \udcXX (XX its value), as surrogate-escaping
// decoders read it, so that the output stays plain ASCII-safe JSON and the
// original bytes can be recovered.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ostrakel::cli {

std::string jsonString(const std::string& bytes);
std::string jsonStringOrNull(const std::optional<std::string>& bytes);

}  // namespace ostrakel::cli
