#include "Library/Bridge/DistributionWrapping.h"

#include <algorithm>

#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/FileURL.h"
#include "platform/Path.h"
#include "platform/PropertyList.h"

namespace ostrakel {

namespace {

constexpr size_t kMaximumNameBytes = 255;

void fail(ErrorSlot slot, int64_t code, ErrorRef cause) {
  storeFirstError(slot, errorWithCode(kOstrakelErrorDomain, code, std::move(cause)));
}

bool isRealFolder(FileSystem& fm, const std::string& path) {
  bool isDirectory = false;
  return fileExistsAtPath(fm, path, &isDirectory, false) && isDirectory;
}

bool isLink(FileSystem& fm, const std::string& path) { return fm.destinationOfSymbolicLink(path, nullptr).has_value(); }

bool wellFormed(const DistributionWrapping& wrapping) {
  const std::string name = path::lastComponent(wrapping.bundlePath);
  if (!path::isAbsolute(wrapping.bundlePath) || !isPlainFileName(name) ||
      path::extension(name) != Tools4Ostrakel::velmarExtension() || path::deleteExtension(name).empty())
    return false;
  if (!path::isAbsolute(wrapping.installation) || wrapping.programs.empty()) return false;
  for (const auto& [set, folder] : wrapping.programs)
    if (!isPlainFileName(set) || set == "texbin" || !path::isAbsolute(folder) || folder.find('\0') != std::string::npos)
      return false;
  return true;
}

bool makeBundle(FileSystem& fm, const DistributionWrapping& wrapping, ErrorSlot slot) {
  const std::string contents = path::appendComponent(wrapping.bundlePath, "Contents");
  const std::string programs = path::appendComponent(contents, "Programs");
  PlistRef info = PlistValue::dictionary(
      {{kWrappedInstallationKey, PlistValue::string(FileURL{wrapping.installation}.absoluteString())}});
  std::optional<std::string> xml = plist::toXML(*info);
  if (!fm.createDirectory(contents, false, slot) || !fm.createDirectory(programs, false, slot)) return false;
  if (!xml || !fm.writeFileAtomically(path::appendComponent(contents, "Info.plist"), *xml, slot)) return false;
  for (const auto& [set, folder] : wrapping.programs)
    if (!fm.createSymbolicLink(path::appendComponent(programs, set), folder, slot)) return false;
  return fm.createSymbolicLink(path::appendComponent(programs, "texbin"), wrapping.programs.front().first, slot);
}

// Everything in `folder` is one of `allowed` (a link where `links` says so).
bool holdsOnly(FileSystem& fm, const std::string& folder, const std::vector<std::string>& allowed) {
  std::optional<std::vector<std::string>> entries = fm.contentsOfDirectory(folder, nullptr);
  if (!entries) return false;
  for (const std::string& entry : *entries)
    if (std::find(allowed.begin(), allowed.end(), entry) == allowed.end()) return false;
  return true;
}

bool holdsOnlyLinks(FileSystem& fm, const std::string& folder) {
  std::optional<std::vector<std::string>> entries = fm.contentsOfDirectory(folder, nullptr);
  if (!entries) return false;
  for (const std::string& entry : *entries)
    if (!isLink(fm, path::appendComponent(folder, entry))) return false;
  return true;
}

}  // namespace

bool isPlainFileName(const std::string& name) {
  return !name.empty() && name.size() <= kMaximumNameBytes && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool addWrappedDistribution(const DistributionWrapping& wrapping, ErrorSlot slot) {
  if (!wellFormed(wrapping)) {
    fail(slot, errorcode::kAddDistributionFailed, errorWithOstrakelCode(errorcode::kBadDistributionName));
    return false;
  }
  FileSystem& fm = fileManager();
  if (fileExistsAtPath(fm, wrapping.bundlePath, false)) {
    fail(slot, errorcode::kAddDistributionFailed,
         errorWithCode(kOstrakelErrorDomain, errorcode::kDistributionExists, nullptr,
                       FileURL{wrapping.bundlePath}.absoluteString()));
    return false;
  }
  // The distributions folder itself may be missing on a fresh system.
  ErrorRef cause;
  const std::string folder = path::deleteLastComponent(wrapping.bundlePath);
  if (!isRealFolder(fm, folder) && !fm.createDirectory(folder, true, &cause)) {
    fail(slot, errorcode::kAddDistributionFailed, cause);
    return false;
  }
  // Made without intermediates, so a bundle that appeared meanwhile is not taken over.
  if (!fm.createDirectory(wrapping.bundlePath, false, &cause)) {
    fail(slot, errorcode::kAddDistributionFailed, cause);
    return false;
  }
  if (makeBundle(fm, wrapping, &cause)) return true;
  fm.removeItem(wrapping.bundlePath, nullptr);
  fail(slot, errorcode::kAddDistributionFailed, cause);
  return false;
}

bool isWrappedDistribution(const std::string& bundlePath) {
  FileSystem& fm = fileManager();
  if (!isRealFolder(fm, bundlePath) || isLink(fm, path::appendComponent(bundlePath, "Contents"))) return false;
  PlistRef info = infoDictionary4Ostrakel(bundlePath);
  PlistRef mark = info ? info->get(kWrappedInstallationKey) : nullptr;
  return mark && mark->asString();
}

bool isActiveDistribution(const std::string& bundlePath) {
  FileSystem& fm = fileManager();
  const std::string linkPath = Tools4Ostrakel::LTD_DefaultTeX_Contents_Path();
  if (!isLink(fm, linkPath) || !fm.fileExists(linkPath)) return false;
  return fm.resolveSymlinks(linkPath) == fm.resolveSymlinks(path::appendComponent(bundlePath, "Contents"));
}

bool removeWrappedDistribution(const std::string& bundlePath, ErrorSlot slot) {
  FileSystem& fm = fileManager();
  if (!isWrappedDistribution(bundlePath)) {
    fail(slot, errorcode::kRemoveDistributionFailed,
         errorWithCode(kOstrakelErrorDomain, errorcode::kNotWrapped, nullptr, FileURL{bundlePath}.absoluteString()));
    return false;
  }
  if (isActiveDistribution(bundlePath)) {
    fail(slot, errorcode::kRemoveDistributionFailed,
         errorWithCode(kOstrakelErrorDomain, errorcode::kDistributionActive, nullptr,
                       FileURL{bundlePath}.absoluteString()));
    return false;
  }
  // Only what adding made is taken away: anything else inside (a real folder
  // of programs, say) keeps the whole bundle in place.
  const std::string contents = path::appendComponent(bundlePath, "Contents");
  const std::string programs = path::appendComponent(contents, "Programs");
  const std::string info = path::appendComponent(contents, "Info.plist");
  bool isDirectory = true;
  if (!holdsOnly(fm, bundlePath, {"Contents"}) || !holdsOnly(fm, contents, {"Info.plist", "Programs"}) ||
      !isRealFolder(fm, programs) || !holdsOnlyLinks(fm, programs) || isLink(fm, info) ||
      (fileExistsAtPath(fm, info, &isDirectory, false) && isDirectory)) {
    fail(slot, errorcode::kRemoveDistributionFailed,
         errorWithCode(kOstrakelErrorDomain, errorcode::kForeignItems, nullptr, FileURL{bundlePath}.absoluteString()));
    return false;
  }
  ErrorRef cause;
  if (fm.removeItem(bundlePath, &cause)) return true;
  fail(slot, errorcode::kRemoveDistributionFailed, cause);
  return false;
}

}  // namespace ostrakel
