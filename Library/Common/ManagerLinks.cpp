// Links to the manager tool velmarmgr inside the preference-pane bundle: one in
// the Programs folder of the distributions and one in /usr/local/bin, and a
// per-user counterpart of the first under the home folder.
#include <string>

#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {
namespace {

// The bundle name arrives from a client. It names one file in
// /Library/PreferencePanes; anything else ("..", a path, an embedded NUL)
// would let the links point wherever the caller likes.
bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool linksTo(FileSystem& fm, const std::string& link, const std::string& destination) {
  auto stored = fm.destinationOfSymbolicLink(link, nullptr);
  return stored && *stored == destination;
}

}  // namespace

bool Tools4Ostrakel::is_velmarmgr_OKForName(const std::string& name) {
  if (!isPlainFileName(name)) return false;
  FileSystem& fm = fileManager();
  const std::string tool = velmarmgr_DestinationForName(name);
  // /usr/local/bin/velmarmgr is written by the repair but not required here.
  return fm.isExecutableFile(tool) && linksTo(fm, LTD_velmarmgr_Path(), tool);
}

bool Tools4Ostrakel::fix_velmarmgr_ForName(const std::string& name, ErrorSlot slot) {
  if (!isPlainFileName(name)) {
    storeFirstError(slot, errorWithOstrakelCode(errorcode::kInstallManagerFailed));
    return false;
  }
  FileSystem& fm = fileManager();
  const std::string tool = velmarmgr_DestinationForName(name);
  // Both links are attempted, whatever the first one gave.
  const bool inPrograms = createSymbolicLinkAtPath(fm, LTD_velmarmgr_Path(), tool, slot);
  const bool inLocalBin = createSymbolicLinkAtPath(fm, ULB_velmarmgr_Path(), tool, slot);
  return inPrograms && inLocalBin;
}

bool Tools4Ostrakel::is_user_velmarmgr_OKForName(const std::string& name) {
  if (!isPlainFileName(name)) return false;
  FileSystem& fm = fileManager();
  const std::string home = processinfo::homeDirectory();
  const std::string tool = path::appendComponent(home, velmarmgr_DestinationForName(name));
  return fm.isExecutableFile(tool) && linksTo(fm, path::appendComponent(home, LTD_velmarmgr_Path()), tool);
}

bool Tools4Ostrakel::fix_user_velmarmgr_ForName(const std::string& name, ErrorSlot slot) {
  if (!isPlainFileName(name)) {
    storeFirstError(slot, errorWithOstrakelCode(errorcode::kInstallUserManagerFailed));
    return false;
  }
  const std::string home = processinfo::homeDirectory();
  const std::string tool = path::appendComponent(home, velmarmgr_DestinationForName(name));
  return createSymbolicLinkAtPath(fileManager(), path::appendComponent(home, LTD_velmarmgr_Path()), tool,
                                  slot);
}

}  // namespace ostrakel
