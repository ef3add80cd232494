// Finding the bridges of every mounted volume, their order, and the check and
// repair of each bridge's own Contents/Programs/texbin link.
#include <algorithm>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Bridge/DiscoveryWalk.h"
#include "Library/Bridge/SharedLinks.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Unicode.h"

namespace ostrakel {

namespace {

// The text a "<name>.lowercaseString" key path gives for a bridge.
std::string lowercasedField(const Bridge4Ostrakel& bridge, const std::string& keyPath) {
  const std::string field = keyPath.substr(0, keyPath.find('.'));
  if (field == "headerName") return unicode::lowercase(bridge.headerName());
  if (field == "numberName") return unicode::lowercase(bridge.numberName());
  if (field == "trailerName") return unicode::lowercase(bridge.trailerName());
  return unicode::lowercase(bridge.displayName());
}

// A bridge with the values its sort keys compare, taken once before sorting
// rather than at every comparison.
struct SortEntry {
  BridgeRef bridge;
  std::optional<PlistDate> date;
  std::vector<std::string> texts;  // one per key; unused for the date key
};

// -1, 0 or 1 for one sort key, in ascending sense. A bridge whose bundle has
// no date sorts after every dated one, whatever the direction.
int compareByKey(const SortEntry& a, const SortEntry& b, size_t index, const SortDescriptor& key,
                 bool* undatedDecides) {
  *undatedDecides = false;
  if (key.keyPath == "modificationDate") {
    const std::optional<PlistDate>& da = a.date;
    const std::optional<PlistDate>& db = b.date;
    if (!da || !db) {
      *undatedDecides = da.has_value() != db.has_value();
      return da ? -1 : (db ? 1 : 0);
    }
    return da->secondsSince1970 < db->secondsSince1970 ? -1 : (da->secondsSince1970 > db->secondsSince1970 ? 1 : 0);
  }
  int order = a.texts[index].compare(b.texts[index]);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

BridgeArray Tools4Ostrakel::sortedBridges(BridgeArray bridges) {
  const std::vector<SortDescriptor> keys = Tools4Ostrakel::sortDescriptors();
  std::vector<SortEntry> entries;
  entries.reserve(bridges.size());
  for (BridgeRef& bridge : bridges) {
    SortEntry entry{bridge, bridge->modificationDate(), {}};
    for (const SortDescriptor& key : keys)
      entry.texts.push_back(key.keyPath == "modificationDate" ? std::string() : lowercasedField(*bridge, key.keyPath));
    entries.push_back(std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
    for (size_t i = 0; i < keys.size(); ++i) {
      bool undatedDecides = false;
      int order = compareByKey(a, b, i, keys[i], &undatedDecides);
      if (order == 0) continue;
      if (!undatedDecides && !keys[i].ascending) order = -order;
      return order < 0;
    }
    return false;
  });
  BridgeArray sorted;
  sorted.reserve(entries.size());
  for (SortEntry& entry : entries) sorted.push_back(std::move(entry.bridge));
  return sorted;
}

std::vector<SortDescriptor> Tools4Ostrakel::sortDescriptors() {
  return {{"modificationDate", false},
          {"headerName.lowercaseString", false},
          {"numberName.lowercaseString", true},
          {"trailerName.lowercaseString", false}};
}

BridgeArray Tools4Ostrakel::getBridgesAtPath(const std::string& folder, ErrorSlot slot) {
  FileSystem& fm = fileManager();
  SharedLinks links;
  ErrorRef first;
  BridgeArray bridges;
  if (std::optional<FolderListing> listing = fm.readFolder(folder, true, &first)) {
    for (const FolderEntry& entry : listing->entries) {
      if (path::extension(entry.name) != velmarExtension()) continue;
      BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path::appendComponent(folder, entry.name)},
                                                                slotIfEmpty(&first), links, &entry);
      if (bridge && bridge->canBeActive()) bridges.push_back(bridge);
    }
  }
  storeFirstError(slot, first);
  return bridges;
}

BridgeArray Tools4Ostrakel::getActualBridgesOrReturnError(ErrorSlot slot) {
  // Every folder is listed and every bundle read once, the root folder too,
  // although it is also the first volume's.
  DiscoveryWalk walk(true);
  ErrorRef first;
  BridgeArray bridges = walk.bridges(&first);
  storeFirstError(slot, first);
  return sortedBridges(std::move(bridges));
}

// The bridges were read with their own texbin links: the link that decided
// their activity is the one checked.
bool Tools4Ostrakel::areBridgesOK(const BridgeRef& readAlready) {
  // Every listed bridge must be sound, so their order does not matter.
  DiscoveryWalk walk(true);
  if (readAlready) walk.adopt(readAlready);
  ErrorRef ignored;
  for (const BridgeRef& bridge : walk.bridges(&ignored))
    if (!bridge->architectureWithSource(bridge->texbinLinkTextAtReading())) return false;
  return true;
}

bool Tools4Ostrakel::fixBridgesOrReturnError(ErrorSlot slot) {
  // A listing error (a mounted volume without distributions, a bundle that
  // cannot be read) says nothing about the repair: a client takes any error
  // as a failed request, so it is passed on only when a link could not be
  // made, and then after the link's own error.
  ErrorRef listingError;
  ErrorRef repairError;
  bool ok = true;
  for (const BridgeRef& bridge : getActualBridgesOrReturnError(&listingError)) {
    const FileURL url = bridge->fileURL();
    if (bridge->architectureWithSource(bridge->texbinLinkTextAtReading())) continue;
    ArchitectureRef fallback = bridge->defaultArchitecture();
    if (!fallback) continue;  // cannot happen for a bridge that was read
    ok = createSymbolicLinkAtPath(fileManager(), Programs_texbin_Path4Ostrakel(url), fallback->source(),
                                  slotIfEmpty(&repairError)) && ok;
  }
  if (!ok) storeFirstError(slot, repairError ? repairError : listingError);
  return ok;
}

}  // namespace ostrakel
