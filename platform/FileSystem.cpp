#include "platform/FileSystem.h"

#include "platform/Path.h"

namespace ostrakel {

// The long way, through the other operations: the names, and the attributes
// when asked for. Kinds, link texts and the resolved path stay unknown, so a
// caller looks them up itself.
std::optional<FolderListing> FileSystem::readFolder(const std::string& path, bool withAttributes, ErrorSlot slot) {
  std::optional<std::vector<std::string>> names = contentsOfDirectory(path, slot);
  if (!names) return std::nullopt;
  FolderListing listing;
  for (const std::string& name : *names) {
    FolderEntry entry;
    entry.name = name;
    if (withAttributes) {
      entry.attributesRead = true;
      entry.attributes = attributesOfItem(path::appendComponent(path, name), nullptr);
    }
    listing.entries.push_back(std::move(entry));
  }
  return listing;
}

std::optional<std::string> FileSystem::resolvedExecutableFile(const std::string& path) {
  if (!isExecutableFile(path)) return std::nullopt;
  return resolveSymlinks(path);
}

}  // namespace ostrakel
