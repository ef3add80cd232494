// Helper operations on the file manager and on bundles: existence tests with
// and without following links, removal, and the link-making operation through
// which every link of the layout is made.
#pragma once

#include <string>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/PropertyList.h"

namespace ostrakel {

bool fileExistsAtPath(FileSystem& fm, const std::string& path, bool followSymLinks);
bool fileExistsAtPath(FileSystem& fm, const std::string& path, bool* isDirectory, bool followSymLinks);
bool removeItemAtPath(FileSystem& fm, const std::string& path, ErrorSlot slot);
// Makes `source` a link holding `destination`; leaves a link with that text
// alone. Leaves the caller's slot untouched when it succeeds.
bool createSymbolicLinkAtPath(FileSystem& fm, const std::string* source,
                              const std::string* destination, ErrorSlot slot);
bool createSymbolicLinkAtPath(FileSystem& fm, const std::string& source,
                              const std::string& destination, ErrorSlot slot);
// The dictionary of <bundle>/Contents/Info.plist, or nullptr.
PlistRef infoDictionary4Ostrakel(const std::string& bundlePath);

}  // namespace ostrakel
