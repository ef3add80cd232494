// Existence tests that can count a symbolic link itself, and the one operation
// through which every link of the TeX layout is made.
#include "Library/Common/FileHelpers.h"

#include <cerrno>

#include "Library/Tools4Ostrakel.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "platform/Assertion.h"
#include "platform/Path.h"

namespace ostrakel {

namespace {

constexpr const char* kSourceFile = "Library/Common";

bool isLink(FileSystem& fm, const std::string& path) {
  return fm.destinationOfSymbolicLink(path, nullptr).has_value();
}

// Only `.DefaultTeX` must be a real folder (the chain's checks say so); a link
// to a folder anywhere else is how people wrap an existing installation, or
// how a system keeps /usr/local/bin, and stays.
bool mustBeRealFolder(const std::string& parent) {
  return path::standardize(parent) == path::standardize(Tools4Ostrakel::LTD_DefaultTeX_Path());
}

// Makes sure the folder that is to hold a link exists: a real folder, or a
// link to a folder the link is then made in. A file, a dangling link or a link
// to a file standing there is replaced by a new folder, created with its
// missing ancestors. A link that cannot be followed (it is not ours to follow,
// or not searchable) is an error: it is never replaced.
bool prepareParentFolder(FileSystem& fm, const std::string& parent, ErrorSlot slot) {
  bool isDirectory = false;
  if (fileExistsAtPath(fm, parent, &isDirectory, false)) {
    if (isDirectory) return true;
    if (isLink(fm, parent) && !mustBeRealFolder(parent)) {
      ErrorRef why;
      if (fm.isFolder(parent, &why)) return true;
      const int64_t reason = why ? why->code : 0;
      if (reason != ENOENT && reason != ENOTDIR && reason != ELOOP) {
        storeFirstError(slot, why);
        return false;
      }
    }
    if (!fm.removeItem(parent, slot)) return false;
  }
  return fm.createDirectory(parent, true, slot);
}

}  // namespace

bool fileExistsAtPath(FileSystem& fm, const std::string& path, bool followSymLinks) {
  if (fm.fileExists(path)) return true;
  if (followSymLinks) return false;
  return isLink(fm, path);
}

bool fileExistsAtPath(FileSystem& fm, const std::string& path, bool* isDirectory, bool followSymLinks) {
  if (!followSymLinks && isLink(fm, path)) {
    if (isDirectory) *isDirectory = false;
    return true;
  }
  return fm.fileExists(path, isDirectory);
}

// A link whose target is missing counts as absent here and is left in place.
bool removeItemAtPath(FileSystem& fm, const std::string& path, ErrorSlot slot) {
  if (fm.fileExists(path)) return fm.removeItem(path, slot);
  return true;
}

bool createSymbolicLinkAtPath(FileSystem& fm, const std::string* source,
                              const std::string* destination, ErrorSlot slot) {
  if (!source) invalidParameter("source", kSourceFile, 276);
  if (!destination) invalidParameter("destination", kSourceFile, 277);

  // Nothing to do when the link already holds the wanted text, whether or not
  // its target exists. The reason a link cannot be read (nothing there, not a
  // link) is no failure, so it never reaches the caller's slot.
  if (fm.destinationOfSymbolicLink(*source, nullptr) == *destination) return true;

  // Errors of the steps below are collected locally and handed to the caller
  // only on failure, so a successful call leaves the caller's slot untouched.
  ErrorRef failure;
  if (!prepareParentFolder(fm, path::deleteLastComponent(*source), &failure)) {
    storeFirstError(slot, failure);
    return false;
  }

  Logger4Ostrakel::logWithLevel(7, "ln -s \"%@\" \"%@\"", {*source, *destination});
  // The new link is renamed over whatever stands at `source`, so the chain is
  // never without a link, and a failure keeps the old item in place.
  if (fm.replaceWithSymbolicLink(*source, *destination, &failure)) {
    Logger4Ostrakel::logWithLevel(7, "LINKED");
    return true;
  }
  Logger4Ostrakel::logWithLevel(7, "NOT LINKED (%@)", {fm.destinationOfSymbolicLink(*source, nullptr)});
  storeFirstError(slot, failure);
  return false;
}

bool createSymbolicLinkAtPath(FileSystem& fm, const std::string& source,
                              const std::string& destination, ErrorSlot slot) {
  return createSymbolicLinkAtPath(fm, &source, &destination, slot);
}

PlistRef infoDictionary4Ostrakel(const std::string& bundlePath) {
  // The resource folder's sibling: <bundle>/Contents/Info.plist, read afresh.
  std::string resources = path::appendComponent(bundlePath, "Contents/Resources");
  return plist::dictionaryWithContentsOfFile(
      path::appendComponent(path::deleteLastComponent(resources), "Info.plist"));
}

}  // namespace ostrakel
