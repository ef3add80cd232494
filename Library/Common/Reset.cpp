// Reset: removes the switching structure, so that no TeX is active and
// /usr/texbin is gone. The bridges, the Programs folder and the manager link in
// it stay.
#include <string>
#include <vector>

#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel {
namespace {

// In removal order: .DefaultTeX with its Contents link, /usr/texbin, then the
// Programs texbin. The folder path loses its trailing separator so that a link
// standing at .DefaultTeX is seen (and removed) as the link itself.
std::vector<std::string> resetItems() {
  return {path::standardize(Tools4Ostrakel::LTD_DefaultTeX_Path()), Tools4Ostrakel::usr_texbin_Path(),
          Tools4Ostrakel::Programs_texbin_Path()};
}

}  // namespace

bool Tools4Ostrakel::isResetOK() {
  FileSystem& fm = fileManager();
  for (const auto& item : resetItems()) {
    if (fileExistsAtPath(fm, item, false)) return false;
  }
  return true;
}

bool Tools4Ostrakel::resetOrReturnError(ErrorSlot slot) {
  FileSystem& fm = fileManager();
  // Note what exists before anything is removed: removing .DefaultTeX leaves
  // the two links dangling, and dangling links still have to go.
  std::vector<std::string> present;
  for (const auto& item : resetItems()) {
    if (fileExistsAtPath(fm, item, false)) present.push_back(item);
  }
  ErrorRef pending;
  for (const auto& item : present) {
    if (!fm.removeItem(item, slotIfEmpty(&pending))) {
      storeFirstError(slot, errorWithCode(kOstrakelErrorDomain, errorcode::kRemoveDefaultTeXFailed, pending));
      return false;
    }
  }
  return true;
}

}  // namespace ostrakel
