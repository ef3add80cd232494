// Standard folders of the system's domains, as paths inside the system root.
#pragma once

#include <string>
#include <vector>

namespace ostrakel::directories {

// The Library folders of the local (machine-wide) domain, most general last:
// "/Library" inside the root.
std::vector<std::string> localLibraryFolders();

}  // namespace ostrakel::directories
