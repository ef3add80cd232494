// Finding the bridges of every mounted volume, their order, and the check and
// repair of each bridge's own Contents/Programs/texbin link.
#include <algorithm>
#include <set>
#include <tuple>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel {

namespace {

// The four parsed names that make two bridges copies of each other.
using ParsedNamesKey = std::tuple<std::string, std::string, std::string, std::string>;

ParsedNamesKey parsedNamesKey(const Bridge4Ostrakel& bridge) {
  return {bridge.headerName(), bridge.numberName(), bridge.trailerName(), bridge.volumeName()};
}

std::string lowercase(const std::string& text) {
  std::string out;
  icu::UnicodeString::fromUTF8(text).toLower(icu::Locale::getRoot()).toUTF8String(out);
  return out;
}

// The text a "<name>.lowercaseString" key path gives for a bridge.
std::string lowercasedField(const Bridge4Ostrakel& bridge, const std::string& keyPath) {
  const std::string field = keyPath.substr(0, keyPath.find('.'));
  if (field == "headerName") return lowercase(bridge.headerName());
  if (field == "numberName") return lowercase(bridge.numberName());
  if (field == "trailerName") return lowercase(bridge.trailerName());
  return lowercase(bridge.displayName());
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
  ErrorRef first;
  BridgeArray bridges;
  std::optional<std::vector<std::string>> names = fileManager().contentsOfDirectory(folder, &first);
  if (names) {
    for (const std::string& name : *names) {
      if (path::extension(name) != velmarExtension()) continue;
      BridgeRef bridge =
          Bridge4Ostrakel::initWithContentsOfURL(FileURL{path::appendComponent(folder, name)}, slotIfEmpty(&first));
      if (bridge && bridge->canBeActive()) bridges.push_back(bridge);
    }
  }
  storeFirstError(slot, first);
  return bridges;
}

BridgeArray Tools4Ostrakel::getActualBridgesOrReturnError(ErrorSlot slot) {
  ErrorRef first;
  BridgeArray bridges = getBridgesAtPath(path::appendComponent("/", LTD_Path()), &first);
  if (!bridges.empty()) first.reset();

  // Every volume, the root one included: a copy of a bridge already listed
  // (equal parsed names, wherever it lies) is left out. The names listed so
  // far are kept in a set, so the check costs no pass over the whole list.
  std::set<ParsedNamesKey> listed;
  for (const BridgeRef& bridge : bridges) listed.insert(parsedNamesKey(*bridge));
  for (const std::string& volume : fileManager().mountedVolumes()) {
    for (const BridgeRef& bridge : getBridgesAtPath(path::appendComponent(volume, LTD_Path()), slotIfEmpty(&first))) {
      if (listed.insert(parsedNamesKey(*bridge)).second) bridges.push_back(bridge);
    }
  }
  storeFirstError(slot, first);
  return sortedBridges(std::move(bridges));
}

bool Tools4Ostrakel::areBridgesOK() {
  for (const BridgeRef& bridge : getActualBridgesOrReturnError(nullptr))
    if (!bridge->architectureWithSource(Programs_texbin_Destination4Ostrakel(bridge->fileURL()))) return false;
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
    if (bridge->architectureWithSource(Programs_texbin_Destination4Ostrakel(url))) continue;
    ArchitectureRef fallback = bridge->defaultArchitecture();
    if (!fallback) continue;  // cannot happen for a bridge that was read
    ok = createSymbolicLinkAtPath(fileManager(), Programs_texbin_Path4Ostrakel(url), fallback->source(),
                                  slotIfEmpty(&repairError)) && ok;
  }
  if (!ok) storeFirstError(slot, repairError ? repairError : listingError);
  return ok;
}

}  // namespace ostrakel
