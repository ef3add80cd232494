// The program's error domain, its code table and the helpers that build errors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace ostrakel {

// The message of the code table (fallback: the C library's strerror text).
std::string errorMessage4Ostrakel(int64_t code);
// The message passed through localizedString4Ostrakel.
std::string localizedErrorMessage4Ostrakel(int64_t code);
// OstrakelErrorDomain, the code, only NSLocalizedDescription.
ErrorRef errorWithOstrakelCode(int64_t code);
// An error of `domain` with `code`, described from the code table, with an
// optional underlying error and URL.
ErrorRef errorWithCode(const std::string& domain, int64_t code, ErrorRef underlying = nullptr,
                       std::optional<std::string> url = std::nullopt);
// The translation of `text`, or `text` unchanged.
std::string localizedString4Ostrakel(const std::string& text);

}  // namespace ostrakel
