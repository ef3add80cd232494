// One operation's reading of the distributions folders: the root volume's,
// then each mounted volume's. Each folder is listed at most once and each
// bundle read at most once, only when asked for, so an operation that needs a
// few bundles reads only those; nothing outlives the operation.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Bridge/SharedLinks.h"

namespace ostrakel {

class DiscoveryWalk {
public:
  struct Bundle {
    std::string path;
    Bridge4Ostrakel::Names names;  // known from the path alone
    FolderEntry entry;             // what the folder's listing says of it
    bool read = false;
    BridgeRef bridge;  // after reading: the bridge, or none when it cannot be read
    ErrorRef error;    // the reading's error
  };
  struct Folder {
    std::string path;
    bool listed = false;
    ErrorRef listingError;
    std::vector<Bundle> bundles;  // its *.velmar entries in listing order
    // An earlier folder of the walk with the same path: a second reading would
    // list only copies of bridges already listed.
    std::optional<size_t> sameAs;
  };

  // `withAttributes`: the listings also give each bundle folder's attributes,
  // which pays when most bundles will be read.
  explicit DiscoveryWalk(bool withAttributes) : withAttributes_(withAttributes) {}

  // Every bridge that discovery lists, unsorted: all of the root folder's,
  // then each volume's unless a bridge with the same four parsed names is
  // listed already. `first` gets the error discovery reports.
  BridgeArray bridges(ErrorRef* first);
  // Whether discovery lists any bridge at all (reads bundles until one can be read).
  bool listsAnyBridge();
  // Whether a bundle that comes before folder `f`'s bundle `b` in discovery
  // order, and has the same parsed names, can be read: then `b` is a copy.
  // (Meaningless for the root folder's own bundles, which are never copies.)
  bool hasEarlierOriginal(size_t f, size_t b);

  // The folders in discovery order: the root folder, then one per volume.
  size_t folderCount();
  Folder& folder(size_t index);
  // The bundle's bridge (read on first ask); none when it cannot be read.
  const BridgeRef& read(Bundle& bundle);
  // A bridge the operation read already, with no error: the bundle at the
  // same path takes it instead of being read again.
  void adopt(BridgeRef bridge) { adopted_ = std::move(bridge); }

private:
  void listVolumes();
  // The first error of reading a whole folder: its listing's, else the first
  // of its bundles'.
  ErrorRef folderError(size_t index);

  bool withAttributes_;
  SharedLinks links_;
  std::vector<Folder> folders_;
  bool volumesListed_ = false;
  BridgeRef adopted_;
};

}  // namespace ostrakel
