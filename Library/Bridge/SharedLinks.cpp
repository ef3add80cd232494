#include "Library/Bridge/SharedLinks.h"

#include "Library/Tools4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel {

const std::optional<std::string>& SharedLinks::defaultTeXContents() {
  if (!defaultTeXContents_) defaultTeXContents_ = Tools4Ostrakel::LTD_DefaultTeX_Contents_Destination();
  return *defaultTeXContents_;
}

const std::string& SharedLinks::defaultTeXTarget() {
  if (!target_) {
    const std::string linkFolder = path::deleteLastComponent(Tools4Ostrakel::LTD_DefaultTeX_Contents_Path());
    target_ = path::standardize(linkFolder + "/" + defaultTeXContents().value_or(""));
  }
  return *target_;
}

const std::string& SharedLinks::resolvedDefaultTeXTarget() {
  if (!resolvedTarget_) resolvedTarget_ = fileManager().resolveSymlinks(defaultTeXTarget());
  return *resolvedTarget_;
}

const std::optional<std::string>& SharedLinks::usrTexbin() {
  if (!usrTexbin_) usrTexbin_ = fileManager().destinationOfSymbolicLink(Tools4Ostrakel::usr_texbin_Path(), nullptr);
  return *usrTexbin_;
}

}  // namespace ostrakel
