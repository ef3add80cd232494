// Activation: pointing .DefaultTeX/Contents at a bridge and the bridge's own
// texbin link at one of its binary sets, and the check whether that is done.
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Bridge/DiscoveryWalk.h"
#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "platform/Assertion.h"
#include "platform/FileSystem.h"

namespace ostrakel {

namespace {

// "No distribution with the given architecture", with the bundle's URL when
// there is one.
ErrorRef noSuchArchitecture(const std::optional<FileURL>& url) {
  return errorWithCode(kOstrakelErrorDomain, errorcode::kNoSuchArchitecture, nullptr,
                       url ? std::optional<std::string>(url->absoluteString()) : std::nullopt);
}

}  // namespace

bool Tools4Ostrakel::activateBridge(const BridgeRef& bridge, const std::optional<std::string>& source,
                                    ErrorSlot slot) {
  if (!bridge) invalidParameter("bridge", "Library/Bridge", __LINE__);
  FileSystem& fm = fileManager();
  // Tracing lines, above the logger's threshold: the links they show are
  // read only for a logger that would write them.
  if (Logger4Ostrakel::kThreshold >= 7) {
    Logger4Ostrakel::logWithLevel(7, "Activating bridge:\n%@\narch:%@", {bridge, source});
    Logger4Ostrakel::logWithLevel(7, "INFO: %@->%@",
                                  {usr_texbin_Path(), fm.destinationOfSymbolicLink(usr_texbin_Path(), nullptr)});
    Logger4Ostrakel::logWithLevel(
        7, "INFO: %@->%@", {Programs_texbin_Path(), fm.destinationOfSymbolicLink(Programs_texbin_Path(), nullptr)});
  }

  std::string text;
  if (bridge->architectureWithSource(source)) {
    text = *source;
  } else if (source) {
    storeFirstError(slot, noSuchArchitecture(bridge->fileURL()));
    return false;
  } else {
    // The fallback entry is named in the link by its folder name, the text
    // that designates it; its display name need not be a folder of Programs.
    ArchitectureRef fallback = bridge->defaultArchitecture();
    if (!fallback) {
      storeFirstError(slot, noSuchArchitecture(bridge->fileURL()));
      return false;
    }
    text = fallback->source();
  }

  // .DefaultTeX/Contents first: the bridge's own link is only touched once the
  // distribution itself has been switched.
  ErrorRef pending;
  if (createSymbolicLinkAtPath(fm, LTD_DefaultTeX_Contents_Path(), bridge->LTD_DefaultTeX_Contents_Destination(),
                               &pending) &&
      createSymbolicLinkAtPath(fm, Programs_texbin_Path4Ostrakel(bridge->fileURL()), text, slotIfEmpty(&pending)))
    return true;
  storeFirstError(slot, pending);
  return false;
}

bool Tools4Ostrakel::activateBridgeWithName(const std::string& name, const std::string& source, ErrorSlot slot) {
  Logger4Ostrakel::logWithLevel(7, "Activating bridge with name:%@, arch:%@", {name, source});
  // The outcome is that of walking the whole sorted list for the first bridge
  // with this display name that offers the source. Only the bundles that
  // decide it are read: those with the display name, and, for one on another
  // volume, the earlier ones with the same parsed names that would make it a
  // copy left out of the list.
  DiscoveryWalk walk(false);
  BridgeArray named;
  bool listsAny = false;
  for (size_t f = 0; f < walk.folderCount(); ++f) {
    std::vector<DiscoveryWalk::Bundle>& bundles = walk.folder(f).bundles;
    for (size_t b = 0; b < bundles.size(); ++b) {
      if (bundles[b].names.displayName != name || !walk.read(bundles[b])) continue;
      listsAny = true;
      if (f == 0 || !walk.hasEarlierOriginal(f, b)) named.push_back(bundles[b].bridge);
    }
  }
  if (!listsAny && !walk.listsAnyBridge()) {
    ErrorRef pending;
    walk.bridges(&pending);
    storeFirstError(slot, pending);
    return false;
  }
  // Sorting a part of the list keeps the order its bridges have in the whole.
  for (const BridgeRef& bridge : sortedBridges(std::move(named)))
    if (bridge->architectureWithSource(source)) return activateBridge(bridge, source, slot);
  storeFirstError(slot, errorWithOstrakelCode(errorcode::kBadDistributionName));
  return false;
}

bool Tools4Ostrakel::activateBridgeAtURL(const std::optional<FileURL>& url, const std::optional<std::string>& source,
                                         ErrorSlot slot) {
  ErrorRef pending;
  if (url) {
    BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(*url, &pending);
    if (bridge) return activateBridge(bridge, source, slot);
    // A path that is no bundle at all is refused without a reading error;
    // the caller must still learn that nothing was activated.
    storeFirstError(slot, pending ? pending : noSuchArchitecture(url));
    return false;
  }

  BridgeRef newest = bridgeForActivation(source, slot);
  return newest && activateBridge(newest, source, slot);
}

bool Tools4Ostrakel::isActiveBridgeAtURL(const std::optional<FileURL>& url,
                                         const std::optional<std::string>& source) {
  BridgeRef bridge = url ? Bridge4Ostrakel::initWithContentsOfURL(*url, nullptr) : nullptr;
  // The costly context check last: it cannot turn a no into a yes. It is
  // isContextOK, with the bridge just read taken for its bundle.
  if (!bridge || !bridge->isActive() || !source || !are_texbins_OK() || !areBridgesOK(bridge)) return false;
  ArchitectureRef active = bridge->activeArchitecture();
  if (!active) return false;
  std::shared_ptr<NameSet> names = active->names();
  return names && names->count(*source) > 0;
}

}  // namespace ostrakel
