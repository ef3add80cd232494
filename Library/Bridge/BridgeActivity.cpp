// Which entry a bridge's own texbin link selects, whether the bridge is the
// one .DefaultTeX/Contents designates, and the entry to fall back on.
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/LayoutPaths.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel {

ArchitectureRef Bridge4Ostrakel::architectureWithSource(const std::optional<std::string>& source) const {
  if (!source) return nullptr;
  for (const ArchitectureRef& entry : architectures())
    if (entry && entry->source() == *source) return entry;
  return nullptr;
}

bool Bridge4Ostrakel::canBeActive() const { return !architectures().empty(); }

bool Bridge4Ostrakel::canEditArchitecture() const { return architectures().size() > 1; }

BridgeRef Bridge4Ostrakel::localCopy() { return shared_from_this(); }

std::string Bridge4Ostrakel::LTD_DefaultTeX_Contents_Destination() const {
  return pathRelativeToBase4Ostrakel(Contents_Path4Ostrakel(fileURL()), Tools4Ostrakel::LTD_DefaultTeX_Path());
}

// The entries come most preferred first, so the first one is the natural
// fallback when no particular binary set is asked for.
ArchitectureRef Bridge4Ostrakel::defaultArchitecture() const {
  ArchitectureArray entries = architectures();
  return entries.empty() ? nullptr : entries.front();
}

void Bridge4Ostrakel::updateActivityStatus() {
  FileSystem& fm = fileManager();
  const FileURL url = fileURL();

  ArchitectureRef active = architectureWithSource(Programs_texbin_Destination4Ostrakel(url));
  if (!active) {
    // A /usr/texbin link straight into a binary folder names the entry by its
    // last component; the regular chain ends in "texbin", which selects none.
    std::optional<std::string> usrTexbin = fm.destinationOfSymbolicLink(Tools4Ostrakel::usr_texbin_Path(), nullptr);
    if (usrTexbin) active = architectureWithSource(path::lastComponent(*usrTexbin));
  }
  setActiveArchitecture(active);

  std::optional<std::string> current = Tools4Ostrakel::LTD_DefaultTeX_Contents_Destination();
  setIsActive(current && *current == LTD_DefaultTeX_Contents_Destination());
  if (isActive() || !current) return;

  // The link may spell the way differently ("./", a trailing "/", detours
  // through ".."), or reach the same folder through other links.
  const std::string linkFolder = path::deleteLastComponent(Tools4Ostrakel::LTD_DefaultTeX_Contents_Path());
  const std::string target = path::standardize(linkFolder + "/" + *current);
  const std::string contents = Contents_Path4Ostrakel(url);
  if (contents == target) {
    setIsActive(true);
    return;
  }
  setIsActive(fm.resolveSymlinks(contents) == fm.resolveSymlinks(target));
}

}  // namespace ostrakel
