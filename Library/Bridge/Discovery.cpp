// Finding the bridges of every mounted volume, their order, and the check and
// repair of each bridge's own Contents/Programs/texbin link.
#include <algorithm>

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel {

namespace {

bool sameParsedNames(const Bridge4Ostrakel& a, const Bridge4Ostrakel& b) {
  return a.headerName() == b.headerName() && a.numberName() == b.numberName() &&
         a.trailerName() == b.trailerName() && a.volumeName() == b.volumeName();
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

// -1, 0 or 1 for one sort key, in ascending sense. A bridge whose bundle has
// no date sorts after every dated one, whatever the direction.
int compareByKey(const Bridge4Ostrakel& a, const Bridge4Ostrakel& b, const SortDescriptor& key,
                 bool* undatedDecides) {
  *undatedDecides = false;
  if (key.keyPath == "modificationDate") {
    std::optional<PlistDate> da = a.modificationDate(), db = b.modificationDate();
    if (!da || !db) {
      *undatedDecides = da.has_value() != db.has_value();
      return da ? -1 : (db ? 1 : 0);
    }
    return da->secondsSince1970 < db->secondsSince1970 ? -1 : (da->secondsSince1970 > db->secondsSince1970 ? 1 : 0);
  }
  int order = lowercasedField(a, key.keyPath).compare(lowercasedField(b, key.keyPath));
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

BridgeArray Tools4Ostrakel::sortedBridges(BridgeArray bridges) {
  const std::vector<SortDescriptor> keys = Tools4Ostrakel::sortDescriptors();
  std::stable_sort(bridges.begin(), bridges.end(), [&](const BridgeRef& a, const BridgeRef& b) {
    for (const SortDescriptor& key : keys) {
      bool undatedDecides = false;
      int order = compareByKey(*a, *b, key, &undatedDecides);
      if (order == 0) continue;
      if (!undatedDecides && !key.ascending) order = -order;
      return order < 0;
    }
    return false;
  });
  return bridges;
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
  // (equal parsed names, wherever it lies) is left out.
  for (const std::string& volume : fileManager().mountedVolumes()) {
    for (const BridgeRef& bridge : getBridgesAtPath(path::appendComponent(volume, LTD_Path()), slotIfEmpty(&first))) {
      bool copy = std::any_of(bridges.begin(), bridges.end(),
                              [&](const BridgeRef& listed) { return sameParsedNames(*listed, *bridge); });
      if (!copy) bridges.push_back(bridge);
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
  ErrorRef first;
  bool ok = true;
  for (const BridgeRef& bridge : getActualBridgesOrReturnError(&first)) {
    const FileURL url = bridge->fileURL();
    if (bridge->architectureWithSource(Programs_texbin_Destination4Ostrakel(url))) continue;
    ArchitectureRef fallback = bridge->defaultArchitecture();
    if (!fallback) continue;  // cannot happen for a bridge that was read
    ok = createSymbolicLinkAtPath(fileManager(), Programs_texbin_Path4Ostrakel(url), fallback->source(),
                                  slotIfEmpty(&first)) && ok;
  }
  storeFirstError(slot, first);
  return ok;
}

}  // namespace ostrakel
