#include "platform/Directories.h"

namespace ostrakel::directories {

// On Linux the machine-wide Library folder is simply /Library inside the root;
// the file manager maps it when it is used.
std::vector<std::string> localLibraryFolders() { return {"/Library"}; }

}  // namespace ostrakel::directories
