// Helper operations on strings and bridge file URLs that build or compare the
// layout's paths. The fixed paths themselves are static operations of
// Tools4Ostrakel.
#pragma once

#include <optional>
#include <string>

#include "platform/FileURL.h"

namespace ostrakel {

// On a bridge's file URL.
std::string Contents_Path4Ostrakel(const FileURL& url);
std::string Programs_Path4Ostrakel(const FileURL& url);
std::string Programs_texbin_Path4Ostrakel(const FileURL& url);
// The text of the bridge's Contents/Programs/texbin link, read at each call.
std::optional<std::string> Programs_texbin_Destination4Ostrakel(const FileURL& url);

// On a string S.
std::string contentsPath4Ostrakel(const std::string& s);
std::string basePath4Ostrakel(const std::string& s);
std::string rootPath4Ostrakel(const std::string& s);
std::string distributionsPath4Ostrakel(const std::string& s);
std::string stringByAppendingRightNameComponent4Ostrakel(const std::string& s, const std::string& component);
std::string pathRelativeToBase4Ostrakel(const std::string& s, const std::string& base);

}  // namespace ostrakel
