#include "Library/Bridge/DiscoveryWalk.h"

#include <set>
#include <tuple>

#include "Library/Tools4Ostrakel.h"
#include "platform/Path.h"

namespace ostrakel {

namespace {

// The four parsed names that make two bridges copies of each other.
using ParsedNamesKey = std::tuple<std::string, std::string, std::string, std::string>;

ParsedNamesKey keyOf(const Bridge4Ostrakel::ParsedNames& names) {
  return {names.headerName, names.numberName, names.trailerName, names.volumeName};
}

ParsedNamesKey keyOf(const Bridge4Ostrakel& bridge) {
  return {bridge.headerName(), bridge.numberName(), bridge.trailerName(), bridge.volumeName()};
}

}  // namespace

void DiscoveryWalk::listVolumes() {
  if (volumesListed_) return;
  volumesListed_ = true;
  std::vector<std::string> paths{path::appendComponent("/", Tools4Ostrakel::LTD_Path())};
  for (const std::string& volume : fileManager().mountedVolumes())
    paths.push_back(path::appendComponent(volume, Tools4Ostrakel::LTD_Path()));
  folders_.resize(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) folders_[i].path = paths[i];
  for (size_t i = 1; i < folders_.size(); ++i)
    for (size_t j = 0; j < i && !folders_[i].sameAs; ++j)
      if (folders_[j].path == folders_[i].path) folders_[i].sameAs = j;
}

size_t DiscoveryWalk::folderCount() {
  listVolumes();
  return folders_.size();
}

DiscoveryWalk::Folder& DiscoveryWalk::folder(size_t index) {
  listVolumes();
  Folder& f = folders_[index];
  if (f.listed || f.sameAs) return f;
  f.listed = true;
  std::optional<FolderListing> listing = fileManager().readFolder(f.path, withAttributes_, &f.listingError);
  if (!listing) return f;
  for (FolderEntry& entry : listing->entries) {
    if (path::extension(entry.name) != Tools4Ostrakel::velmarExtension()) continue;
    Bundle bundle;
    bundle.path = path::appendComponent(f.path, entry.name);
    bundle.names = Bridge4Ostrakel::namesOfBundleAt(bundle.path);
    bundle.entry = std::move(entry);
    f.bundles.push_back(std::move(bundle));
  }
  return f;
}

const BridgeRef& DiscoveryWalk::read(Bundle& bundle) {
  if (!bundle.read) {
    bundle.read = true;
    BridgeRef bridge = adopted_ && adopted_->fileURL().path == bundle.path
                           ? adopted_
                           : Bridge4Ostrakel::initWithContentsOfURL(FileURL{bundle.path}, &bundle.error, links_,
                                                                    &bundle.entry);
    if (bridge && bridge->canBeActive()) bundle.bridge = std::move(bridge);
  }
  return bundle.bridge;
}

ErrorRef DiscoveryWalk::folderError(size_t index) {
  Folder& f = folder(index);
  if (f.listingError) return f.listingError;
  for (Bundle& bundle : f.bundles) {
    read(bundle);
    if (bundle.error) return bundle.error;
  }
  return nullptr;
}

BridgeArray DiscoveryWalk::bridges(ErrorRef* first) {
  BridgeArray listed;
  for (Bundle& bundle : folder(0).bundles)
    if (read(bundle)) listed.push_back(bundle.bridge);
  // The root folder's own error counts only when it gives no bridge.
  ErrorRef error = listed.empty() ? folderError(0) : nullptr;

  std::set<ParsedNamesKey> names;
  for (const BridgeRef& bridge : listed) names.insert(keyOf(*bridge));
  for (size_t i = 1; i < folderCount(); ++i) {
    Folder& f = folder(i);
    if (!f.sameAs) {
      for (Bundle& bundle : f.bundles)
        if (read(bundle) && names.insert(keyOf(*bundle.bridge)).second) listed.push_back(bundle.bridge);
    }
    if (!error) error = folderError(f.sameAs.value_or(i));
  }
  *first = error;
  return listed;
}

bool DiscoveryWalk::listsAnyBridge() {
  for (size_t i = 0; i < folderCount(); ++i)
    for (Bundle& bundle : folder(i).bundles)
      if (read(bundle)) return true;
  return false;
}

bool DiscoveryWalk::hasEarlierOriginal(size_t f, size_t b) {
  const ParsedNamesKey key = keyOf(folder(f).bundles[b].names.parsed);
  for (size_t i = 0; i <= f; ++i) {
    std::vector<Bundle>& bundles = folder(i).bundles;
    const size_t end = i == f ? b : bundles.size();
    for (size_t j = 0; j < end; ++j)
      if (keyOf(bundles[j].names.parsed) == key && read(bundles[j])) return true;
  }
  return false;
}

}  // namespace ostrakel
