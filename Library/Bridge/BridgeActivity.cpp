// Which entry a bridge's own texbin link selects, whether the bridge is the
// one .DefaultTeX/Contents designates, and the entry to fall back on.
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Bridge/SharedLinks.h"
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
  SharedLinks links;
  const FileURL url = fileURL();
  updateActivityStatus(links, Programs_texbin_Destination4Ostrakel(url),
                       [&url] { return fileManager().resolveSymlinks(Contents_Path4Ostrakel(url)); });
}

std::optional<std::string> Bridge4Ostrakel::texbinLinkTextAtReading() const {
  std::lock_guard lock(mutex_);
  return texbinLinkText_;
}

void Bridge4Ostrakel::updateActivityStatus(SharedLinks& links, const std::optional<std::string>& texbinText,
                                           const std::function<std::string()>& resolvedContents) {
  {
    std::lock_guard lock(mutex_);
    texbinLinkText_ = texbinText;
  }
  ArchitectureRef active = architectureWithSource(texbinText);
  if (!active) {
    // A /usr/texbin link straight into a binary folder names the entry by its
    // last component; the regular chain ends in "texbin", which selects none.
    const std::optional<std::string>& usrTexbin = links.usrTexbin();
    if (usrTexbin) active = architectureWithSource(path::lastComponent(*usrTexbin));
  }
  setActiveArchitecture(active);

  const std::optional<std::string>& current = links.defaultTeXContents();
  setIsActive(current && *current == LTD_DefaultTeX_Contents_Destination());
  if (isActive() || !current) return;

  // The link may spell the way differently ("./", a trailing "/", detours
  // through ".."), or reach the same folder through other links.
  if (Contents_Path4Ostrakel(fileURL()) == links.defaultTeXTarget()) {
    setIsActive(true);
    return;
  }
  setIsActive(resolvedContents() == links.resolvedDefaultTeXTarget());
}

}  // namespace ostrakel
