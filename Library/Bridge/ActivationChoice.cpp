// The bundle a URL-less activation picks: the newest one that has the binary
// set asked for, among those that nobody but root and the caller could change.
// The service activates it with root's rights after an administrator agreed,
// so a bundle another user controls (their own volume, a folder they may
// write) must never be the one chosen on that administrator's behalf.
#include <algorithm>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/RemotePeer.h"

namespace ostrakel {

namespace {

constexpr uint32_t kGroupWritable = 020;
constexpr uint32_t kOthersWritable = 002;

// Whether a user other than root and `caller` could change the item at
// `path` (not followed): it is theirs, or its group or everyone may write it.
bool othersCouldModify(FileSystem& fm, const std::string& path, uint32_t caller) {
  std::optional<FileAttributes> attributes = fm.attributesOfItem(path, nullptr);
  if (!attributes || !attributes->ownerAccountID || !attributes->posixPermissions) return true;
  const uint32_t owner = *attributes->ownerAccountID;
  if (owner != 0 && owner != caller) return true;
  const uint32_t mode = *attributes->posixPermissions;
  if (mode & kOthersWritable) return true;
  return (mode & kGroupWritable) && attributes->groupOwnerAccountID.value_or(1) != 0;
}

}  // namespace

bool Tools4Ostrakel::isBridgeControlledByOthers(const BridgeRef& bridge) {
  FileSystem& fm = fileManager();
  const uint32_t caller = remote::currentCallerUid();
  const std::string folder = bridge->fileURL().path;
  const std::string contents = path::appendComponent(folder, Contents_Component());
  const std::string programs = path::standardize(path::appendComponent(folder, Programs_RelativePath()));
  for (const std::string& path : {folder, contents, programs}) {
    if (othersCouldModify(fm, path, caller)) return true;
    // A link on the chain: what it leads to counts as well.
    const std::string resolved = fm.resolveSymlinks(path);
    if (resolved != path && othersCouldModify(fm, resolved, caller)) return true;
  }
  return false;
}

BridgeRef Tools4Ostrakel::bridgeForActivation(const std::optional<std::string>& source, ErrorSlot slot) {
  ErrorRef pending;
  BridgeArray bridges = getActualBridgesOrReturnError(&pending);
  // Newest bundle folder first. The dates are read once, before sorting, so
  // the order cannot change under the sort; unreadable dates go last.
  FileSystem& fm = fileManager();
  std::vector<std::pair<std::optional<double>, BridgeRef>> dated;
  for (const BridgeRef& bridge : bridges) {
    std::optional<FileAttributes> attributes = fm.attributesOfItem(bridge->fileURL().path, nullptr);
    std::optional<double> date;
    if (attributes && attributes->modificationDate) date = attributes->modificationDate->secondsSince1970;
    dated.emplace_back(date, bridge);
  }
  std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) {
    if (a.first && b.first) return *a.first > *b.first;
    return a.first.has_value() && !b.first.has_value();
  });
  for (const auto& [date, bridge] : dated) {
    // Without an architecture every bridge qualifies, with its default entry.
    if (source && !bridge->architectureWithSource(source)) continue;
    if (isBridgeControlledByOthers(bridge)) {
      Logger4Ostrakel::logWithLevel(5, "Not choosing %@: another user could change it", {bridge->fileURL().path});
      continue;
    }
    return bridge;
  }
  // Nothing offers the architecture: that is the failure. A listing error
  // (a volume without distributions, an unreadable bundle) may explain it,
  // so it goes beneath.
  storeFirstError(slot, errorWithCode(kOstrakelErrorDomain, errorcode::kNoSuchArchitecture, pending));
  return nullptr;
}

}  // namespace ostrakel
